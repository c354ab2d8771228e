// A boolean combination of two subtrees. No lock (see SearchNode).
//
// Every walk of a tree (matching, copying, writing, sizing, text, deleting) runs
// here with a stack of its own, so a tree as deep as the filter list's chain of
// words never runs the thread's stack out.
#pragma once

#include "meta/SearchNode.h"

class SN_Compound : public SearchNode {
public:
    enum Operator {
        AND = 0,
        OR = 1,
        AND_NOT = 2,  // left holds and right fails
        XOR = 3,
        NOT_AND = 4,  // left fails and right holds
    };

    // An empty node, as the reader makes it.
    SN_Compound();
    // Takes both subtrees.
    SN_Compound(int32_t op, SearchNode* left, SearchNode* right);
    ~SN_Compound() override;

    SearchNode* clone() const override;
    bool matches(Meta* record) override;
    SearchNode* expand(i4_string& word) override;
    // Fails, writing nothing of this node, while a child is missing.
    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    int size() override;
    int weight() override;
    void toText(i4_string& buffer) override;

    // The reader's entry for a compound at the given level.
    bool readBody(i4_file& f, int level);

    int32_t getOperator() const { return op; }
    SearchNode* getLeft() const { return left; }
    SearchNode* getRight() const { return right; }

private:
    // Sum over the tree of perCompound for each compound and leafValue for each
    // other node.
    int sumOverTree(int perCompound, int (SearchNode::*leafValue)());

    int32_t op;
    SearchNode* left;
    SearchNode* right;
};
