// A record list of files (known files, shared files, search results, the lists of
// server and peer packets). Lookups walk the list under its lock.
#pragma once

#include <stdint.h>

#include "meta/MetaList.h"

class FileMeta;

class FileList : public MetaList {
public:
    Meta* newMeta() override;
    // True, and nothing added, when a record with the same file hash is listed;
    // otherwise appends the record and answers false.
    virtual bool addUnique(FileMeta* m);

    FileMeta* findByHash(const uint8_t hash[16]);
    // The first record for which FileMeta::isSameFile holds.
    FileMeta* findSameFile(uint32_t size, uint32_t time, const char* name);
    // Appends every record with the hash to target (records shared, not copied).
    void findAllByHash(const uint8_t hash[16], MetaList* target);

private:
    FileMeta* findByHashNoLock(const uint8_t hash[16]);
};
