#include "transfer/friends/FriendCache.h"

#include <string.h>

FriendCache::FriendCache(UserMeta* user, unsigned s) : serial(s), gives(true) {
    record.copy(user);
}

FriendCache::~FriendCache() {}

FriendCacheDir* FriendCache::directoryAt(int index) {
    if (index < 0 || index >= (int)dirs.size()) return nullptr;
    return dirs[index].get();
}

FriendCacheDir* FriendCache::findDirectory(const char* name) {
    if (!name) return nullptr;
    for (auto& d : dirs)
        if (strcmp(d->getName(), name) == 0) return d.get();
    return nullptr;
}

void FriendCache::replaceDirectories(const std::vector<i4_string>& names) {
    dirs.clear();
    for (const i4_string& name : names) {
        if ((int)dirs.size() >= MAX_DIRECTORIES) break;
        dirs.push_back(std::make_unique<FriendCacheDir>(name.c_str()));
    }
}

void FriendCache::cacheFiles(const char* name, FileList* files) {
    FriendCacheDir* dir = findDirectory(name);
    if (!dir) {
        if ((int)dirs.size() >= MAX_DIRECTORIES) return;
        dirs.push_back(std::make_unique<FriendCacheDir>(name));
        dir = dirs.back().get();
    }
    dir->takeCopies(files);
}
