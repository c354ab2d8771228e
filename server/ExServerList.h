// The server pool's list of known servers (and what server.met is read into); locking as
// for ServerList.
#pragma once

#include "server/ServerList.h"

class ExServer;

class ExServerList : public ServerList {
public:
    Meta* newMeta() override;

    // The server at the index in list order, or null; the caller holds the lock.
    ExServer* atNoLock(int index);
};
