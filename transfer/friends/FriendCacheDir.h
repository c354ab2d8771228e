// Held by its FriendCache and used under the friend list's lock (core task thread).
#pragma once

#include "i4min/string/i4_string.h"
#include "meta/FileList.h"

// One directory a friend shares, with the copies of the file records it last sent for it
// (empty until the friend is asked for them).
class FriendCacheDir {
public:
    explicit FriendCacheDir(const char* name);
    // Deletes the cached records.
    virtual ~FriendCacheDir();

    const char* getName() const { return name.c_str() ? name.c_str() : ""; }
    FileList* getFiles() { return &files; }
    // The cached records become copies of the list's records; the old ones are deleted.
    void takeCopies(FileList* from);

private:
    FriendCacheDir(const FriendCacheDir&) = delete;
    FriendCacheDir& operator=(const FriendCacheDir&) = delete;

    i4_string name;
    FileList files;
};
