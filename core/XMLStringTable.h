// The numbered texts and the localisation of literals by key. Filled on the main
// thread at start-up, read from any thread afterwards; no lock.
#pragma once

#include "i4min/string/i4_string.h"

class XMLNode;

class XMLStringTable {
public:
    enum { SIZE = 89 };  // ids 1 to 88; entry 0 is the empty text

    XMLStringTable();
    virtual ~XMLStringTable();

    // Keeps the document (owned by its parser) and takes every numbered text
    // from STRINGS/<key>@label where present, else the built-in text.
    void load(XMLNode* document);
    // The text of ids 1 to 88; null for any other id.
    const char* get(int id) const;
    // Replaces text by STRINGS/<key>@label when there is one; else leaves it.
    void localize(const char* key, i4_string& text) const;
    // STRINGS/<key>@label, or an empty string.
    i4_string lookup(const char* key) const;
    // STRINGS/<key>@label, or text when there is none.
    i4_string localized(const char* key, const char* text) const;

    // The built-in table: key and English text of ids 0 to 88; null beyond.
    static const char* keyOf(int id);
    static const char* defaultText(int id);

private:
    bool findLabel(const char* key, i4_string& label) const;

    i4_string entries[SIZE];
    XMLNode* document;
};

extern XMLStringTable theXMLStringTable;
