#include "server/ServerPool.h"

#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/Connector.h"
#include "net/IpPort.h"
#include "net/SocketPool.h"
#include "server/ExServer.h"
#include "server/MainServer.h"
#include "server/ServerGateway.h"
#include "server/ServerSettings.h"
#include "server/ServerTexts.h"
#include "util/LLView.h"

ServerPool::ServerPool(ServerGateway& g, SocketPool* sockets, Connector* c,
                       ExServerAnnex::Clock clock)
    : owner(g),
      connector(c),
      connecting(false),
      extendIndex(0),
      autoCountdown(-1),
      udp(nullptr),
      current(nullptr) {
    ExServerAnnex* a = new ExServerAnnex(this, clock);
    udp = a;
    if (sockets)
        sockets->add(a);
    else
        delete a;
}

ServerPool::~ServerPool() {
    clearQueue();
    if (ExServerAnnex* a = udp.exchange(nullptr)) a->forgetPool();
    if (MainServer* c = current.exchange(nullptr)) c->forgetPool();
    list.deleteAll();
}

void ServerPool::annexGone(ExServerAnnex* gone) {
    ExServerAnnex* expected = gone;
    udp.compare_exchange_strong(expected, nullptr);
}

bool ServerPool::run(int elapsedMs) {
    int64_t ms = elapsedMs > 0 ? elapsedMs : 0;
    ExServerAnnex* a = udp.load();
    bool removeDead = theServerSettings.servRemove != 0;
    LL dead;
    {
        i4_lock hold(&list);
        for (ExServer* s : LLView<ExServer>(list.getList()))
            if (!s->tick(ms, a, removeDead)) dead.append(s);
        while (ExServer* s = (ExServer*)dead.removeAt(0)) {
            list.getList()->removeNoLock(s);
            delete s;
        }
    }

    if (autoCountdown > 0) autoCountdown -= ms;
    if (theServerSettings.autoConnect && !current.load() && autoCountdown <= 0) {
        i4_string text("automatically connecting");
        theXMLStringTable.localize("autoConnecting", text);
        theUI->printLine("%s", text.c_str());
        autoCountdown = AUTO_CONNECT_EVERY_MS;
        theMessageQ.post(MSG_SERVER_CONNECT);
    }
    return false;
}

bool ServerPool::loadList(const char* path) {
    bool ok = list.load(path);
    i4_lock hold(&list);
    // Pinged at the next pass.
    for (ExServer* s : LLView<ExServer>(list.getList())) s->age = ExServer::PING_EVERY_MS;
    return ok;
}

bool ServerPool::saveList(const char* path) {
    // No server ever known and no file to bring up to date: nothing to keep.
    i4_file_status status;
    if (list.getList()->count() == 0 && !i4_get_status(path, status)) return true;
    if (list.save(path, true)) return true;
    theUI->printLine("Server list couldn't be saved: %s", path);
    return false;
}

void ServerPool::mergeList(const char* path) {
    ExServerList more;
    more.load(path);
    while (ExServer* s = (ExServer*)more.getList()->removeAt(0)) {
        s->age = ExServer::PING_EVERY_MS;
        if (list.addIfAbsent(s)) delete s;
    }
}

int ServerPool::addServer(uint32_t ip, int port) {
    if (ip == 0 || port <= 0 || port > 0xFFFF) return 0;
    i4_lock hold(&list);
    if (!list.findByAddress(ip, (uint16_t)port)) {
        ExServer* s = new ExServer(ip, (uint16_t)port);
        s->age = ExServer::PING_EVERY_MS;
        list.getList()->appendNoLock(s);
    }
    return 1;
}

void ServerPool::removeServer(uint32_t ip, uint16_t port) {
    ServerMeta* s;
    {
        i4_lock hold(&list);
        s = list.findByAddress(ip, port);
        if (s) list.getList()->removeNoLock(s);
    }
    delete s;
}

void ServerPool::setPreference(uint32_t ip, uint16_t port, int32_t pref) {
    i4_lock hold(&list);
    if (ServerMeta* s = list.findByAddress(ip, port)) s->setPreference(pref);
}

void ServerPool::updateServer(ServerMeta* record) {
    if (!record) return;
    i4_lock hold(&list);
    ServerMeta* listed = list.findByAddress(record->ip, record->port);
    if (listed) {
        listed->takeAnnouncedTags(record);
    } else {
        ExServer* s = new ExServer(record->ip, record->port);
        s->takeAnnouncedTags(record);
        s->applyTags();
        list.getList()->appendNoLock(s);
    }
}

void ServerPool::setStatus(uint32_t ip, uint16_t port, int32_t ping, uint32_t users,
                           uint32_t files) {
    i4_lock hold(&list);
    if (ServerMeta* s = list.findByAddress(ip, port)) {
        s->setPing(ping);
        s->setUsersFiles(users, files);
    }
}

void ServerPool::setConnection(MainServer* connection) {
    MainServer* old = current.exchange(connection);
    if (old && old != connection) {
        // One server connection at a time: a slower earlier attempt gives way.
        old->discardSilently();
        old->closeNow();
        owner.resetServerState();
    }
}

void ServerPool::connectionClosed(MainServer* connection) {
    MainServer* expected = connection;
    if (!connection || !current.compare_exchange_strong(expected, nullptr)) return;
    theServerUI->disconnected();
    owner.resetServerState();
}

void ServerPool::clearQueue() {
    for (ServerMeta* s : queue) delete s;
    queue.clear();
}

void ServerPool::fillQueue(int n) {
    list.getList()->sort(&ServerMeta::comparePriority);
    i4_lock hold(&list);
    for (ServerMeta* s : LLView<ServerMeta>(list.getList())) {
        if ((int)queue.size() >= n) break;
        ServerMeta* copy = new ServerMeta();
        copy->copy(s);
        queue.push_back(copy);
    }
}

void ServerPool::connect(const IpPort* target) {
    if (!target) {
        connectAny();
        return;
    }
    uint32_t ip = target->ip;
    uint32_t port = target->port;
    i4_lock hold(&lock);
    MainServer* c = current.load();
    if (c && c->getIp() == ip && (uint32_t)c->getPort() == port) {
        theUI->printLine("%s", serverText(TEXT_ALREADY_CONNECTED_TO));
        return;
    }
    if (c) {
        c->discardSilently();
        c->closeNow();
        connectionClosed(c);
    }
    clearQueue();
    // The listed record goes, when there is one: its password and name come along.
    ServerMeta* entry = new ServerMeta(ip, (uint16_t)port);
    {
        i4_lock listHold(&list);
        if (port <= 0xFFFF)
            if (ServerMeta* listed = list.findByAddress(ip, (uint16_t)port)) entry->copy(listed);
    }
    queue.push_back(entry);
    if (!connecting) connectNext();
}

void ServerPool::connectAny() {
    i4_lock hold(&lock);
    if (current.load()) {
        theUI->printLine("%s", serverText(TEXT_ALREADY_CONNECTED));
    } else if (connecting) {
        theUI->printLine("%s", serverText(TEXT_ALREADY_TRYING));
    } else {
        clearQueue();
        fillQueue(MAX_QUEUE);
        connectNext();
    }
}

void ServerPool::connectNext() {
    if (queue.empty()) {
        connecting = false;
        return;
    }
    ServerMeta* entry = queue.front();
    queue.pop_front();
    i4_string name;
    theUI->printLine("%s %s ....", serverText(TEXT_CONNECTING_TO), entry->displayName(name));
    MainServer* attempt = new MainServer(entry, this);
    delete entry;
    // Set first: an attempt that fails at once reports to a pool that knows it is trying.
    bool wasConnecting = connecting;
    connecting = true;
    if (!connector) {
        delete attempt;
    } else if (connector->connect(attempt) == 0) {
        connecting = wasConnecting;
        theUI->printLine("%s", serverText(TEXT_ALREADY_TRYING_THIS));
        attempt->discardSilently();
        delete attempt;
    }
}

void ServerPool::connectFailed(uint32_t ip, uint16_t) {
    i4_lock hold(&lock);
    if (!connecting) return;
    i4_string text;
    theUI->printLine("%s: %s", serverText(TEXT_CANT_CONNECT_TO), ipToText(ip, text));
    theMessageQ.post(MSG_SERVER_TRY_NEXT);
}

void ServerPool::tryNext() {
    i4_lock hold(&lock);
    connectNext();
}

void ServerPool::stopConnecting() {
    i4_lock hold(&lock);
    connecting = false;
    clearQueue();
}

void ServerPool::disconnect() {
    if (MainServer* c = current.load()) c->closeNow();
    stopConnecting();
}

bool ServerPool::isConnecting() {
    i4_lock hold(&lock);
    return connecting;
}

int ServerPool::queuedServers() {
    i4_lock hold(&lock);
    return (int)queue.size();
}

void ServerPool::search(Search* s, bool kind0) {
    MainServer* c = current.load();
    if (!c) {
        theUI->printLine("%s", serverText(TEXT_NOT_CONNECTED));
        return;
    }
    if (!s) return;
    if (kind0)
        c->search(s);
    else
        c->searchKind1(s);
    extendIndex = 0;
}

void ServerPool::moreResults() {
    if (MainServer* c = current.load())
        c->moreResults();
    else
        theUI->printLine("%s", serverText(TEXT_NOT_CONNECTED));
}

void ServerPool::extendSearch(Search* s, bool kind0) {
    MainServer* c = current.load();
    if (!s || !c) return;
    i4_string name;
    ExServer* target;
    {
        i4_lock hold(&list);
        target = list.atNoLock(extendIndex);
        if (target && target->hasAddress(c->getIp(), (uint16_t)c->getPort()))
            target = list.atNoLock(++extendIndex);
        if (target) {
            if (ExServerAnnex* a = udp.load()) {
                if (kind0)
                    a->sendSearch(s, target->ip, target->port);
                else
                    a->sendSearchKind1(s, target->ip, target->port);
            }
            ++extendIndex;
            target->displayName(name);
        }
    }
    if (target)
        theServerUI->extendingTo(name.c_str());
    else
        theUI->printLine("%s", serverText(TEXT_NO_MORE_EXTEND));
}

int ServerPool::requestCallback(uint32_t serverIp, uint16_t serverPort, uint32_t clientId) {
    MainServer* c = current.load();
    if (!c) return 0;
    if (c->getIp() == serverIp && c->getPort() == serverPort)
        c->requestCallback(clientId);
    else if (ExServerAnnex* a = udp.load())
        a->sendCallbackRequest(clientId, serverIp, serverPort);
    return 1;
}

void ServerPool::askAllForSources(const uint8_t hash[16]) {
    MainServer* c = current.load();
    if (!c) return;
    ExServerAnnex* a = udp.load();
    i4_lock hold(&list);
    for (ExServer* s : LLView<ExServer>(list.getList()))
        if (s->askSources(hash, c, a)) break;
}

void ServerPool::forgetSources(const uint8_t hash[16]) {
    i4_lock hold(&list);
    for (ExServer* s : LLView<ExServer>(list.getList())) s->forgetRequest(hash);
}
