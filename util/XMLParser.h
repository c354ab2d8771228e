// Threads: one at a time; the tree it returns lives until the parser is
// cleared, parses again or is destroyed.
#pragma once

#include <cstddef>

#include "i4min/string/i4_string.h"
#include "util/LL.h"

class XMLNode;

// Reads the XML subset of the interface text files: elements, attributes in
// double quotes, text content, comments. End tags are not matched against
// start tags; text content keeps its entity references; any other "<!"
// markup ends the parse. Every scan stays inside the given length, and
// malformed input ends in a partial tree, never a crash.
class XMLParser {
public:
    XMLParser();
    virtual ~XMLParser();

    // The first element, or null. The text is read only during the call.
    XMLNode* parse(const char* text);
    XMLNode* parse(const char* text, size_t length);
    // Deletes the tree.
    void clear();

private:
    XMLParser(const XMLParser&) = delete;
    XMLParser& operator=(const XMLParser&) = delete;

    // 1 to go on, 0 to stop.
    int parseStep();
    void parseTag(XMLNode* node, size_t from, size_t to);
    bool isBlank(size_t i) const;

    const char* text;
    size_t length;
    size_t pos;
    size_t tokenStart;
    i4_string scratch;
    LL elements;  // every element made, in document order
    LL roots;     // the top-level ones, which own the rest
    XMLNode* current;
};
