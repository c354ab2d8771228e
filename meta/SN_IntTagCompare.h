// An integer tag of a given name compared with a value. No lock (see SearchNode).
#pragma once

#include "meta/SearchNode.h"

class SN_IntTagCompare : public SearchNode {
public:
    // The tag's value stands on the left of the comparison, the node's on the right.
    enum Comparison {
        EQUAL = 0,
        GREATER = 1,
        LESS = 2,
        GREATER_EQUAL = 3,
        LESS_EQUAL = 4,
        NOT_EQUAL = 5,
    };

    // An empty node, as the reader makes it.
    SN_IntTagCompare();
    SN_IntTagCompare(const char* tagName, int32_t value, int32_t comparison);
    ~SN_IntTagCompare() override;

    SearchNode* clone() const override;
    // Only tags of the integer kind take part; a text tag of the name never matches.
    bool matches(Meta* record) override;
    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    int size() override;
    // Takes a pointer to an int32_t.
    void setValue(const void* value) override;
    int weight() override;
    void toText(i4_string& buffer) override;

    int32_t getValue() const { return value; }
    int32_t getComparison() const { return comparison; }
    const char* getTagName() const { return tagName.c_str(); }

private:
    int32_t value;
    i4_string tagName;
    int32_t comparison;
};
