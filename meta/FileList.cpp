#include "meta/FileList.h"

#include <string.h>
#include <vector>

#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/Search.h"
#include "util/LLView.h"

Meta* FileList::newMeta() {
    return new FileMeta();
}

FileMeta* FileList::findByHashNoLock(const uint8_t hash[16]) {
    for (FileMeta* m : LLView<FileMeta>(list))
        if (memcmp(m->getFileHash(), hash, 16) == 0) return m;
    return nullptr;
}

bool FileList::addUnique(FileMeta* m) {
    // Test and append under one lock so two threads cannot both add the same file.
    i4_lock hold(this);
    bool listed = findByHashNoLock(m->getFileHash()) != nullptr;
    if (!listed) list.appendNoLock(m);
    return listed;
}

void FileList::select(Search* search, MetaList* target, int max) {
    if (!target) return;
    // Gathered first and added after the lock is given back, so the target's
    // lock is never taken inside this list's.
    std::vector<Meta*> chosen;
    {
        i4_lock hold(this);
        for (Meta* m : LLView<Meta>(list)) {
            if (max > 0 && (int)chosen.size() >= max) break;
            if (!search || search->matches(m)) chosen.push_back(m);
        }
    }
    for (Meta* m : chosen) target->add(m);
}

FileMeta* FileList::findByHash(const uint8_t hash[16]) {
    i4_lock hold(this);
    FileMeta* m = findByHashNoLock(hash);
    return m;
}

FileMeta* FileList::findSameFileNoLock(uint32_t size, uint32_t time, const char* path) {
    for (FileMeta* m : LLView<FileMeta>(list))
        if (m->isSameFile(size, time, path)) return m;
    return nullptr;
}

FileMeta* FileList::findSameFile(uint32_t size, uint32_t time, const char* path) {
    i4_lock hold(this);
    FileMeta* found = findSameFileNoLock(size, time, path);
    return found;
}

void FileList::findAllByHash(const uint8_t hash[16], MetaList* target) {
    if (!target || target == this) return;
    // As in select: the target's lock is never taken inside this list's.
    std::vector<Meta*> chosen;
    {
        i4_lock hold(this);
        for (FileMeta* m : LLView<FileMeta>(list))
            if (memcmp(m->getFileHash(), hash, 16) == 0) chosen.push_back(m);
    }
    for (Meta* m : chosen) target->add(m);
}
