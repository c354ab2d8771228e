// The words of filters.txt: a search result holding one of them in any text tag
// is dropped. The lock serialises load, filter, matches, save and toText; load
// runs on the main thread at start-up and later on the core task thread, the
// others on the core task thread. Lock order: the filter's lock, then a list's.
#pragma once

#include <string>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"

class FileList;
class Meta;
class Search;

class FilterMaster {
public:
    enum {
        // A line is read in pieces of at most this many characters, each a word.
        MAX_WORD = 255,
        // Only this much of the file is read: every result is tried against
        // every word on the core task thread, so the list must stay short.
        MAX_FILE_BYTES = 64 * 1024,
    };

    FilterMaster();
    virtual ~FilterMaster();

    // Frees the words and empties the search's tree; takes no lock.
    void clear();
    // Replaces the words by the lines of the file, up to MAX_FILE_BYTES of it;
    // false (and no words) when it cannot be opened as a regular file (a FIFO
    // is refused without waiting for a writer).
    bool load(const char* path);
    // True when the last load stopped at MAX_FILE_BYTES and dropped the rest.
    bool wasCut();
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
    // The words ORed in file order. Made when asked for: matching tries the
    // words one after another and never needs it, and a tree costs far more
    // per word than the words themselves.
    Search* getSearch();

private:
    FilterMaster(const FilterMaster&) = delete;
    FilterMaster& operator=(const FilterMaster&) = delete;

    bool matchesNoLock(Meta* record);

    i4_mutex lock;
    i4_string path;
    // Each word followed by a zero, in file order: a few bytes per word.
    std::string words;
    std::string lowered;  // the same words lower-cased, for matching
    int count;
    bool cut;
    Search* search;
    bool searchMade;  // the search's tree holds every word
};
