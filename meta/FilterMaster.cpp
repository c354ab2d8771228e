#include "meta/FilterMaster.h"

#include <stdio.h>
#include <string.h>
#include <string>

#include "i4min/memory/i4_memory.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileList.h"
#include "meta/Meta.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/Search.h"

FilterMaster::FilterMaster() : path(""), search(new Search()) {
    search->addRef();
}

FilterMaster::~FilterMaster() {
    clear();
    search->release();
}

void FilterMaster::clear() {
    LLNode* cursor = nullptr;
    while (char* word = (char*)LL::next(&words, &cursor)) i4_free(word);
    words.clear();
    lowered.clear();
    search->clear();
}

bool FilterMaster::load(const char* fileName) {
    i4_lock hold(&lock);
    clear();
    path = fileName;
    FILE* f = fileName ? fopen(fileName, "r") : nullptr;
    if (!f) return false;
    char line[MAX_WORD + 1];
    while (fgets(line, sizeof line, f)) {
        line[strcspn(line, "\n")] = 0;
        line[strcspn(line, "\r")] = 0;
        addWord(line);
    }
    fclose(f);
    return true;
}

void FilterMaster::addWord(const char* word) {
    if (!word || !*word) return;
    words.append(i4_strdup(word));
    i4_string low(word);
    low.to_lower();
    lowered.push_back(low);
    search->addNode(new SN_FindStr(word), SN_Compound::OR);
}

void FilterMaster::filter(FileList* list) {
    i4_lock hold(&lock);
    if (!list || !search->getRoot()) return;
    // Found and unlinked under the list's lock alone: holding a second list's
    // lock inside it would set up a lock order that another pair of lists
    // could take the other way round.
    std::vector<Meta*> doomed;
    list->lock();
    LLNode* cursor = nullptr;
    while (Meta* record = (Meta*)LL::next(list->getList(), &cursor)) {
        if (matchesNoLock(record)) doomed.push_back(record);
    }
    for (Meta* record : doomed) list->getList()->removeNoLock(record);
    list->unlock();
    for (Meta* record : doomed) delete record;
}

bool FilterMaster::matches(Meta* record) {
    i4_lock hold(&lock);
    return search->getRoot() && matchesNoLock(record);
}

bool FilterMaster::matchesNoLock(Meta* record) {
    for (const i4_string& word : lowered) {
        if (SN_FindStr::anyTextTagContains(record, word.c_str())) return true;
    }
    return false;
}

bool FilterMaster::save(const char* text, const char* fileName) {
    i4_lock hold(&lock);
    const char* target = fileName ? fileName : path.c_str();
    FILE* f = target ? fopen(target, "w") : nullptr;
    if (!f) return false;
    size_t n = text ? strlen(text) : 0;
    bool ok = fwrite(text ? text : "", 1, n, f) == n;
    return fclose(f) == 0 && ok;
}

void FilterMaster::toText(i4_string& out) {
    i4_lock hold(&lock);
    std::string text;
    LLNode* cursor = nullptr;
    while (const char* word = (const char*)LL::next(&words, &cursor)) {
        text += word;
        text += "\r\n";
    }
    out = text.c_str();
}

int FilterMaster::wordCount() {
    i4_lock hold(&lock);
    return words.count();
}
