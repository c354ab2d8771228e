#include "meta/UserList.h"

#include "i4min/threads/linux/i4_lock.h"
#include "meta/UserMeta.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

UserList theUserList;

Meta* UserList::newMeta() {
    return new UserMeta();
}

UserMeta* UserList::findByHash(const uint8_t hash[16]) {
    i4_lock hold(this);
    UserMeta* found = nullptr;
    for (UserMeta* u : LLView<UserMeta>(list)) {
        if (UniqueID::equals(u->hash, hash)) {
            found = u;
            break;
        }
    }
    return found;
}

void UserList::forgetLowId(uint32_t serverIp, uint32_t lowId) {
    LL gone;
    i4_lock hold(this);
    for (UserMeta* u : LLView<UserMeta>(list)) {
        if (u->serverIp != serverIp || u->ip != lowId) continue;
        if (UniqueID::isZero(u->hash)) {
            gone.append(u);
        } else {
            u->ip = 0;
            u->serverIp = 0;
        }
    }
    for (UserMeta* u : LLView<UserMeta>(gone)) {
        list.removeNoLock(u);
        delete u;
    }
}
