// One node of a search expression. No lock: a tree is built by one thread and is
// not changed once it has been handed on (the filter list changes its own tree
// under its own lock).
//
// Wire form, prefix order, each node starting with its kind byte (integers
// little-endian; a text is u16 length n and n bytes):
//   kind 0 compound:  u8 operator, left node, right node
//   kind 1 find:      text
//   kind 2 text tag:  value text, tag name text
//   kind 3 int tag:   u32 value, u8 comparison, tag name text
//   kind 4 match all: nothing
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"

class Meta;
class MetaTag;
struct LLNode;
class i4_file;

class SearchNode {
public:
    enum Kind {
        COMPOUND = 0,
        FIND_STR = 1,
        STR_TAG_COMPARE = 2,
        INT_TAG_COMPARE = 3,
        MATCH_ALL = 4,
    };
    enum {
        // Expressions come from the remote controller: a deeper one is refused
        // rather than followed.
        MAX_DEPTH = 64,
        // Longer find texts and tag values from the wire keep this many bytes.
        MAX_TEXT = 200,
    };

    explicit SearchNode(int32_t kind);
    // Each node owns its subtree.
    virtual ~SearchNode();

    virtual SearchNode* clone() const = 0;
    virtual bool matches(Meta* record) = 0;
    // Takes words out of the tree for the search's text; answers what takes this
    // node's place (itself unless it gave its words away).
    virtual SearchNode* expand(i4_string& word);
    virtual bool toNetwork(i4_file& f) = 0;
    // The rest of the node after its kind byte.
    virtual bool fromNetwork(i4_file& f) = 0;
    virtual int size() = 0;
    // Replaces the node's value; ignored by kinds without one.
    virtual void setValue(const void* value);
    virtual int weight() = 0;
    // Appends the node's text form.
    virtual void toText(i4_string& buffer) = 0;

    int32_t getKind() const { return kind; }

    // Reads one node with its subtree; null (nothing left allocated) for an unknown
    // kind, missing bytes or nesting deeper than MAX_DEPTH.
    static SearchNode* readNode(i4_file& f);
    // The same for a node at the given level, the root being level 1.
    static SearchNode* readNode(i4_file& f, int level);

    // True when the text holds pattern as a substring once its ASCII capitals are
    // lowered; an empty text holds nothing, an empty pattern is in any other text.
    static bool containsLower(const char* text, const char* pattern);

protected:
    // The next tag of the record after the cursor (null: from the start) with
    // that type and exactly that stored name; null at the end.
    static MetaTag* nextTag(Meta* record, LLNode** cursor, uint32_t type, const char* name);
    // Reads a stored text keeping at most max bytes (the rest is read and dropped);
    // false on a length of 0xFFFF or a short read. Nothing is allocated beyond what
    // was actually read.
    static bool readText(i4_file& f, int max, i4_string& out);
    // u16 length and the bytes; false when the text has no stored form or a write
    // fails.
    static bool writeText(i4_file& f, const i4_string& text);
    // Bytes of a stored text: 2 + its length.
    static int textSize(const i4_string& text);

private:
    SearchNode(const SearchNode&) = delete;
    SearchNode& operator=(const SearchNode&) = delete;

    int32_t kind;
};
