#include "server/ServerList.h"

#include "i4min/threads/linux/i4_lock.h"
#include "server/ServerMeta.h"
#include "util/LLView.h"

Meta* ServerList::newMeta() {
    return new ServerMeta();
}

ServerMeta* ServerList::findByAddress(uint32_t ip, uint16_t port) {
    for (ServerMeta* s : LLView<ServerMeta>(list))
        if (s->hasAddress(ip, port)) return s;
    return nullptr;
}

int ServerList::addIfAbsent(ServerMeta* server) {
    if (!server) return 1;
    i4_lock hold(this);
    bool listed = findByAddress(server->ip, server->port) != nullptr;
    if (!listed) list.appendNoLock(server);
    return listed ? 1 : 0;
}

void ServerList::addOrUpdate(ServerMeta* server) {
    if (!server || server->ip == 0) return;
    i4_lock hold(this);
    ServerMeta* listed = nullptr;
    for (ServerMeta* s : LLView<ServerMeta>(list)) {
        if (s->isSameAddress(server)) {
            listed = s;
            break;
        }
    }
    if (!listed) {
        listed = (ServerMeta*)newMeta();
        list.appendNoLock(listed);
    }
    listed->copy(server);
}
