// A text tag of a given name that must contain a value. No lock (see SearchNode).
#pragma once

#include "meta/SearchNode.h"

class SN_StrTagCompare : public SearchNode {
public:
    // An empty node, as the reader makes it.
    SN_StrTagCompare();
    // The value is kept as given: only one read from the wire is lowered, so a
    // value with capitals made here matches nothing.
    SN_StrTagCompare(const char* tagName, const char* value);
    ~SN_StrTagCompare() override;

    SearchNode* clone() const override;
    bool matches(Meta* record) override;
    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    int size() override;
    // Takes a zero-terminated text as the value.
    void setValue(const void* value) override;
    int weight() override;
    void toText(i4_string& buffer) override;

    const char* getValue() const { return value.c_str(); }
    const char* getTagName() const { return tagName.c_str(); }

private:
    i4_string value;
    i4_string tagName;
};
