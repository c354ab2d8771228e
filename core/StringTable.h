// The plain string table read from ".str" files. Filled on the main thread at
// start-up and on the core task thread by "lang"; no lock.
#pragma once

#include <vector>

#include "i4min/string/i4_string.h"

class StringTable {
public:
    StringTable();
    virtual ~StringTable();

    // Defaults, then line k of the file replaces entry k; the first call also
    // builds thePriorityNames.
    void setUp(const char* fileName);
    // Copies the numbered texts 52 to 62 into the special tags' display names.
    void copyUiStrings();

    void set(int index, const char* text);
    void resize(int n);
    // Lines read, or -1 when the file cannot be opened. Line k replaces entry k
    // while k is below the count; a line keeps at most MAX_LINE bytes, cut at its
    // first CR or LF.
    int loadText(const char* fileName);
    void print() const;

    int getCount() const { return (int)entries.size(); }
    const i4_string& get(int index) const;

    enum { MAX_LINE = 1023 };

private:
    std::vector<i4_string> entries;
};

extern StringTable theStringTable;

// Display names of the download priorities 0 to 3, localised.
extern i4_string thePriorityNames[4];
