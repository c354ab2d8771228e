#include "transfer/friends/FriendCacheDir.h"

FriendCacheDir::FriendCacheDir(const char* n) : name(n ? n : "") {}

FriendCacheDir::~FriendCacheDir() {
    files.deleteAll();
}

void FriendCacheDir::takeCopies(FileList* from) {
    files.deleteAll();
    files.copyFrom(from);
}
