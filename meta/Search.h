// A search expression shared by reference count between the code that built it
// and the server side that sends it. No lock: the tree is not changed once the
// search has been handed on; the filter list changes its own search only under
// its own lock.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "util/RefCounter.h"

class Meta;
class SearchNode;
class i4_file;

class Search : public RefCounter {
public:
    Search();
    ~Search() override;

    // The root's wire form; false without a root.
    virtual bool toNetwork(i4_file& f);
    // Replaces the tree by one node read from the file; false when none was read
    // (the search is then empty).
    virtual bool fromNetwork(i4_file& f);
    // The root's wire size, 0 without a root.
    virtual int size();

    // The node becomes the root, or the right side of a new root that combines the
    // old tree (left) with it by the operator. The search owns the node.
    void addNode(SearchNode* node, int32_t op);
    // True without a root.
    bool matches(Meta* record);
    void clear();
    SearchNode* getRoot() const { return root; }
    // "search( " + the tree's text form + " )".
    void toString(i4_string& buffer);
    // Takes the first word of the tree into the text when the text is empty; an
    // emptied tree becomes a node that matches everything.
    const i4_string& expandText();

    const i4_string& getText() const { return text; }
    uint8_t getKind() const { return kind; }
    void setKind(uint8_t k) { kind = k; }

private:
    i4_string text;
    SearchNode* root;
    uint8_t kind;
};
