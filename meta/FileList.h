// A record list of files (known files, shared files, search results, the lists of
// server and peer packets). Lookups walk the list under its lock.
#pragma once

#include <stdint.h>

#include "meta/MetaList.h"

class FileMeta;
class Search;

class FileList : public MetaList {
public:
    Meta* newMeta() override;
    // True, and nothing added, when a record with the same file hash is listed;
    // otherwise appends the record and answers false.
    virtual bool addUnique(FileMeta* m);

    FileMeta* findByHash(const uint8_t hash[16]);
    // The first record for which FileMeta::isSameFile holds.
    FileMeta* findSameFile(uint32_t size, uint32_t time, const char* path);
    // Appends to target every record the search matches (all of them without a
    // search or tree), at most max of them (0: no limit). Records are shared, not
    // copied; the target may be this list.
    void select(Search* search, MetaList* target, int max);
    // Appends every record with the hash to target (records shared, not copied).
    void findAllByHash(const uint8_t hash[16], MetaList* target);

    // The same lookups for a holder of the list's lock.
    FileMeta* findByHashNoLock(const uint8_t hash[16]);
    FileMeta* findSameFileNoLock(uint32_t size, uint32_t time, const char* path);
};
