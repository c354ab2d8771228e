#include "meta/FilterMaster.h"

#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileList.h"
#include "meta/Meta.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/Search.h"
#include "util/LLView.h"

FilterMaster::FilterMaster()
    : path(""), count(0), cut(false), search(new Search()), searchMade(true) {
    search->addRef();
}

FilterMaster::~FilterMaster() {
    clear();
    search->release();
}

void FilterMaster::clear() {
    words.clear();
    lowered.clear();
    count = 0;
    search->clear();
    searchMade = true;
}

namespace {

// The file as a stream, or null; a FIFO or a directory is not a filter list.
FILE* openRegular(const char* name) {
    if (!name) return nullptr;
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "r");
    if (!f) close(fd);
    return f;
}

}  // namespace

bool FilterMaster::load(const char* fileName) {
    i4_lock hold(&lock);
    clear();
    cut = false;
    path = fileName;
    FILE* f = openRegular(fileName);
    if (!f) return false;
    char line[MAX_WORD + 1];
    size_t used = 0;
    while (fgets(line, sizeof line, f)) {
        used += strlen(line);
        if (used > MAX_FILE_BYTES) {
            cut = true;
            break;
        }
        line[strcspn(line, "\n")] = 0;
        line[strcspn(line, "\r")] = 0;
        addWord(line);
    }
    fclose(f);
    return true;
}

bool FilterMaster::wasCut() {
    i4_lock hold(&lock);
    return cut;
}

void FilterMaster::addWord(const char* word) {
    if (!word || !*word) return;
    words.append(word).push_back(0);
    i4_string low(word);
    low.to_lower();
    lowered.append(low.c_str()).push_back(0);
    count++;
    searchMade = false;
}

Search* FilterMaster::getSearch() {
    i4_lock hold(&lock);
    if (!searchMade) {
        search->clear();
        for (const char* w = words.data(); w < words.data() + words.size(); w += strlen(w) + 1)
            search->addNode(new SN_FindStr(w), SN_Compound::OR);
        searchMade = true;
    }
    return search;
}

void FilterMaster::filter(FileList* list) {
    i4_lock hold(&lock);
    if (!list || !count) return;
    // Found and unlinked under the list's lock alone: holding a second list's
    // lock inside it would set up a lock order that another pair of lists
    // could take the other way round.
    std::vector<Meta*> doomed;
    {
        i4_lock listHold(list);
        for (Meta* record : LLView<Meta>(list->getList())) {
            if (matchesNoLock(record)) doomed.push_back(record);
        }
        for (Meta* record : doomed) list->getList()->removeNoLock(record);
    }
    for (Meta* record : doomed) delete record;
}

bool FilterMaster::matches(Meta* record) {
    i4_lock hold(&lock);
    return count && matchesNoLock(record);
}

bool FilterMaster::matchesNoLock(Meta* record) {
    for (const char* w = lowered.data(); w < lowered.data() + lowered.size(); w += strlen(w) + 1)
        if (SN_FindStr::anyTextTagContains(record, w)) return true;
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
    for (const char* w = words.data(); w < words.data() + words.size(); w += strlen(w) + 1)
        text.append(w).append("\r\n");
    out = text.c_str();
}

int FilterMaster::wordCount() {
    i4_lock hold(&lock);
    return count;
}
