#include "meta/FileList.h"

#include <string.h>

#include "meta/FileMeta.h"

Meta* FileList::newMeta() { return new FileMeta(); }

FileMeta* FileList::findByHashNoLock(const uint8_t hash[16])
{
    LLNode* cursor = nullptr;
    while (FileMeta* m = (FileMeta*)LL::next(&list, &cursor))
        if (memcmp(m->getFileHash(), hash, 16) == 0)
            return m;
    return nullptr;
}

bool FileList::addUnique(FileMeta* m)
{
    // Test and append under one lock so two threads cannot both add the same file.
    lock();
    bool listed = findByHashNoLock(m->getFileHash()) != nullptr;
    if (!listed)
        list.appendNoLock(m);
    unlock();
    return listed;
}

FileMeta* FileList::findByHash(const uint8_t hash[16])
{
    lock();
    FileMeta* m = findByHashNoLock(hash);
    unlock();
    return m;
}

FileMeta* FileList::findSameFile(uint32_t size, uint32_t time, const char* name)
{
    lock();
    LLNode* cursor = nullptr;
    FileMeta* found = nullptr;
    while (FileMeta* m = (FileMeta*)LL::next(&list, &cursor)) {
        if (m->isSameFile(size, time, name)) {
            found = m;
            break;
        }
    }
    unlock();
    return found;
}

void FileList::findAllByHash(const uint8_t hash[16], MetaList* target)
{
    if (!target || target == this)
        return;
    lock();
    LLNode* cursor = nullptr;
    while (FileMeta* m = (FileMeta*)LL::next(&list, &cursor))
        if (memcmp(m->getFileHash(), hash, 16) == 0)
            target->add(m);
    unlock();
}
