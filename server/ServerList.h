// A record list of servers. Its own lock guards it: addIfAbsent and addOrUpdate take
// it; findByAddress does not, so its caller holds it.
#pragma once

#include <stdint.h>

#include "meta/MetaList.h"

class ServerMeta;

class ServerList : public MetaList {
public:
    Meta* newMeta() override;

    // The first server with that address, or null; the caller holds the lock.
    ServerMeta* findByAddress(uint32_t ip, uint16_t port);
    // 1, and nothing added, when a server with the same address is listed (the record
    // stays the caller's); else appends the record itself and answers 0.
    int addIfAbsent(ServerMeta* server);
    // Copies the record into the listed one with the same address, or appends a copy;
    // nothing for null or ip 0.
    void addOrUpdate(ServerMeta* server);
};
