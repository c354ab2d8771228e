// Words that must occur in some text tag of a record, whatever its name. No lock
// (see SearchNode).
#pragma once

#include "meta/SearchNode.h"

class SN_FindStr : public SearchNode {
public:
    enum { MAX_WORD = 255 };

    // An empty node, as the reader makes it.
    SN_FindStr();
    // The text is kept lower-cased: matching lowers only the record's side.
    explicit SN_FindStr(const char* text);
    ~SN_FindStr() override;

    SearchNode* clone() const override;
    bool matches(Meta* record) override;
    // Gives the first blank-separated word back and answers an AND chain of the
    // others (null when there are none); deletes itself.
    SearchNode* expand(i4_string& word) override;
    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    int size() override;
    // Takes a zero-terminated text as it is (not lowered).
    void setValue(const void* value) override;
    int weight() override;
    void toText(i4_string& buffer) override;

    const char* getText() const { return text.c_str(); }

    // True when a text tag of the record holds the lower-case pattern.
    static bool anyTextTagContains(Meta* record, const char* pattern);

private:
    i4_string text;
};
