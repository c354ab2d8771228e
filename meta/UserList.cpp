#include "meta/UserList.h"

#include "meta/UserMeta.h"
#include "util/UniqueID.h"

UserList theUserList;

Meta* UserList::newMeta() {
    return new UserMeta();
}

UserMeta* UserList::findByHash(const uint8_t hash[16]) {
    lock();
    LLNode* cursor = nullptr;
    UserMeta* found = nullptr;
    while (UserMeta* u = (UserMeta*)LL::next(&list, &cursor)) {
        if (UniqueID::equals(u->hash, hash)) {
            found = u;
            break;
        }
    }
    unlock();
    return found;
}

void UserList::forgetLowId(uint32_t serverIp, uint32_t lowId) {
    lock();
    LLNode* cursor = nullptr;
    LL gone;
    while (UserMeta* u = (UserMeta*)LL::next(&list, &cursor)) {
        if (u->serverIp != serverIp || u->ip != lowId) continue;
        if (UniqueID::isZero(u->hash)) {
            gone.append(u);
        } else {
            u->ip = 0;
            u->serverIp = 0;
        }
    }
    cursor = nullptr;
    while (UserMeta* u = (UserMeta*)LL::next(&gone, &cursor)) {
        list.removeNoLock(u);
        delete u;
    }
    unlock();
}
