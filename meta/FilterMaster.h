// The words of filters.txt: a search result holding one of them in any text tag
// is dropped. The lock serialises load, filter, matches, save and toText; load
// runs on the main thread at start-up and later on the core task thread, the
// others on the core task thread. Lock order: the filter's lock, then a list's.
#pragma once

#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "util/LL.h"

class FileList;
class Meta;
class Search;

class FilterMaster {
public:
    // A line is read in pieces of at most this many characters, each a word.
    enum { MAX_WORD = 255 };

    FilterMaster();
    virtual ~FilterMaster();

    // Frees the words and empties the search's tree; takes no lock.
    void clear();
    // Replaces the words by the lines of the file; false (and no words) when it
    // cannot be opened.
    bool load(const char* path);
    // Keeps a copy of a non-empty word; takes no lock.
    void addWord(const char* word);
    // Removes from the list, and deletes, every record that a word matches.
    void filter(FileList* list);
    // True when some word is in some text tag of the record, ignoring the case
    // of ASCII letters; false without words.
    bool matches(Meta* record);
    // Writes the text's bytes to the path (the last loaded one for null),
    // replacing the file; false when it cannot be opened.
    bool save(const char* text, const char* path);
    // The words, each followed by CR LF.
    void toText(i4_string& out);

    int wordCount();
    Search* getSearch() { return search; }

private:
    FilterMaster(const FilterMaster&) = delete;
    FilterMaster& operator=(const FilterMaster&) = delete;

    // The words are tried one after another: the search's OR chain is as deep as
    // the list is long and is never walked for a match.
    bool matchesNoLock(Meta* record);

    i4_mutex lock;
    i4_string path;
    LL words;                        // owned zero-terminated copies, in file order
    std::vector<i4_string> lowered;  // the same words lower-cased, for matching
    Search* search;
};
