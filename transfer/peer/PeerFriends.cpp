#include "transfer/peer/PeerFriends.h"

#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "util/LL.h"

bool PeerFriends::isFriend(UserMeta*) {
    return false;
}

void PeerFriends::setGivesFiles(UserMeta*, bool) {}

void PeerFriends::gotDirectories(UserMeta*, LL* names) {
    if (!names) return;
    while (i4_string* name = static_cast<i4_string*>(names->removeAt(0))) delete name;
    delete names;
}

void PeerFriends::gotFiles(UserMeta*, const char*, FileList* files) {
    if (!files) return;
    files->deleteAll();
    delete files;
}
