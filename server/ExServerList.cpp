#include "server/ExServerList.h"

#include "server/ExServer.h"

Meta* ExServerList::newMeta() {
    return new ExServer();
}

ExServer* ExServerList::atNoLock(int index) {
    return index < 0 ? nullptr : static_cast<ExServer*>(list.getAt(index));
}
