#include "transfer/upload/FileQueue.h"

#include <cstring>

#include "meta/UserMeta.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "util/LLView.h"

FileQueue::FileQueue(const uint8_t h[16], int p) : priority(p), waiting(0) {
    memcpy(hash, h, 16);
}

FileQueue::~FileQueue() {
    while (UserMeta* u = static_cast<UserMeta*>(removeAt(0))) delete u;
}

void FileQueue::push(UserMeta* user) {
    append(user);
    waiting++;
}

void FileQueue::pushFront(UserMeta* user) {
    prepend(user);
    waiting++;
}

UserMeta* FileQueue::pop() {
    UserMeta* u = static_cast<UserMeta*>(removeAt(0));
    if (u) waiting--;
    return u;
}

UserMeta* FileQueue::find(UserMeta* user, int* position) {
    int at = 1;
    for (UserMeta* u : LLView<UserMeta>(this)) {
        if (u->isSameUser(user)) {
            if (position) *position = at;
            return u;
        }
        at++;
    }
    return nullptr;
}

bool FileQueue::isServable() {
    return theTransferGateway.sharedList.findByHash(hash) != nullptr || theHashThread.isPassDone();
}
