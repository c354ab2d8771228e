// A record list of users. Lookups walk the list under its lock.
#pragma once

#include <stdint.h>

#include "meta/MetaList.h"

class UserMeta;

class UserList : public MetaList {
public:
    Meta* newMeta() override;

    UserMeta* findByHash(const uint8_t hash[16]);
    // A low-id client behind a server changed: users of that id without a hash are
    // removed and deleted, those with a hash lose their address.
    void forgetLowId(uint32_t serverIp, uint32_t lowId);
};

extern UserList theUserList;
