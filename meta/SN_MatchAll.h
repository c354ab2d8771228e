// A node that every record matches. No lock (see SearchNode).
#pragma once

#include "meta/SearchNode.h"

class SN_MatchAll : public SearchNode {
public:
    SN_MatchAll();
    ~SN_MatchAll() override;

    SearchNode* clone() const override;
    bool matches(Meta* record) override;
    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    int size() override;
    int weight() override;
    void toText(i4_string& buffer) override;
};
