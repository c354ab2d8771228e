// Held by the friend list and used under its lock (core task thread).
#pragma once

#include <memory>
#include <vector>

#include "meta/UserMeta.h"
#include "transfer/friends/FriendCacheDir.h"

class FileList;

// A friend: a copy of its user record, whose friend status tells how far a connection to
// it got, and what it last told of its shared directories and their files.
class FriendCache {
public:
    // The friend status kept in the record.
    enum Status { NOT_CONNECTED = 0, WAITING = 1, CONNECTED = 2, CANNOT_CONNECT = 3 };
    // A friend sharing more directories than this keeps the first ones.
    static constexpr int MAX_DIRECTORIES = 10000;

    // A copy of the record; serial names this friend for as long as it lives.
    FriendCache(UserMeta* user, unsigned serial);
    virtual ~FriendCache();

    UserMeta* getRecord() { return &record; }
    unsigned getSerial() const { return serial; }
    int getStatus() const { return (int)record.friendStatus; }
    void setStatus(Status s) { record.friendStatus = s; }
    bool givesFiles() const { return gives; }
    void setGivesFiles(bool on) { gives = on; }

    int directoryCount() const { return (int)dirs.size(); }
    // By number from 0; null outside.
    FriendCacheDir* directoryAt(int index);
    // Exact comparison of the name; null when none.
    FriendCacheDir* findDirectory(const char* name);
    // One empty directory per name, in order; what was cached before is dropped.
    void replaceDirectories(const std::vector<i4_string>& names);
    // The directory of that name takes copies of the records; a directory not cached yet
    // is added, up to MAX_DIRECTORIES.
    void cacheFiles(const char* name, FileList* files);

private:
    FriendCache(const FriendCache&) = delete;
    FriendCache& operator=(const FriendCache&) = delete;

    UserMeta record;
    unsigned serial;
    bool gives;
    std::vector<std::unique_ptr<FriendCacheDir>> dirs;
};
