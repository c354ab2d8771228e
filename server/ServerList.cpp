#include "server/ServerList.h"

#include "i4min/threads/linux/i4_lock.h"
#include "server/ServerMeta.h"

Meta* ServerList::newMeta() {
    return new ServerMeta();
}

ServerMeta* ServerList::findByAddress(uint32_t ip, uint16_t port) {
    LLNode* cursor = nullptr;
    while (ServerMeta* s = (ServerMeta*)LL::next(&list, &cursor))
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
    LLNode* cursor = nullptr;
    while (ServerMeta* s = (ServerMeta*)LL::next(&list, &cursor)) {
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
