#include "server/ServerGateway.h"

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/ServerUI.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/Search.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"
#include "net/Connector.h"
#include "net/STSocketPool.h"
#include "server/MainServer.h"
#include "server/ServerDownloadSources.h"
#include "server/ServerHandler.h"
#include "server/ServerPool.h"
#include "server/ServerSettings.h"
#include "server/TransferLink.h"
#include "util/CountedRef.h"
#include "util/LLView.h"

ServerGateway theServerGateway;

namespace {
// The highest id that still counts as reachable in the firewall state.
const uint32_t HIGHEST_LOW_ID = 0xFFFFFE;
}  // namespace

ServerGateway::ServerGateway() : current(nullptr), users(0), files(0), serverPool(nullptr) {}

ServerGateway::~ServerGateway() {
    if (current) current->release();
    deletePool();
    published.deleteAll();
}

void ServerGateway::start() {
    start(theCore.socketPool, theCore.connector, &theCore.taskThread());
}

void ServerGateway::start(SocketPool* sockets, Connector* connector, TaskThread* thread,
                          ExServerAnnex::Clock clock) {
    theServerHandler.registerHandlers(theMessageQ);
    if (serverPool) return;
    serverPool = new ServerPool(*this, sockets, connector, clock);
    if (thread) thread->addTask(serverPool);
}

void ServerGateway::stop() {
    save();
}

void ServerGateway::deletePool() {
    delete serverPool;
    serverPool = nullptr;
}

void ServerGateway::setUI(ServerUI* ui) {
    theServerUI = ui;
}

bool ServerGateway::requestCallback(UserMeta* user) {
    if (!user || !serverPool) return false;
    return serverPool->requestCallback(user->serverIp, user->serverPort, user->ip) != 0;
}

int ServerGateway::addServer(uint32_t ip, uint16_t port) {
    return serverPool ? serverPool->addServer(ip, port) : 0;
}

DownloadSources* ServerGateway::newDownloadSources() {
    return new ServerDownloadSources(*this);
}

int ServerGateway::firewallState() {
    if (!serverPool || !serverPool->connection()) return 2;
    return theCoreOptions.getClientId() <= HIGHEST_LOW_ID ? 1 : 0;
}

void ServerGateway::load() {
    theServerSettings.load();
    if (serverPool) serverPool->loadList(theServerSettings.serverMetPath().c_str());
}

void ServerGateway::save() {
    theServerSettings.save();
    if (serverPool) serverPool->saveList(theServerSettings.serverMetPath().c_str());
}

void ServerGateway::newSearch(Search* search) {
    if (!search) return;
    i4_lock hold(&searchLock);
    if (current) current->release();
    current = search;
    search->addRef();
    theMessageQ.post(search->getKind() == 0 ? MSG_SEARCH : MSG_SEARCH_TYPED,
                     CountedRef<Search>(search));
}

bool ServerGateway::extendSearch() {
    i4_lock hold(&searchLock);
    if (!current) return false;
    theMessageQ.post(current->getKind() == 0 ? MSG_EXTEND_SEARCH : MSG_EXTEND_SEARCH_TYPED,
                     CountedRef<Search>(current));
    return true;
}

void ServerGateway::gotSearchResults(FileList* results, bool more) {
    if (!results) return;
    theCore.filters.filter(results);
    theServerUI->searchResults(results, more);
}

void ServerGateway::gotSearchResult(FileMeta* result) {
    if (!result) return;
    if (theCore.filters.matches(result)) {
        delete result;
        return;
    }
    theServerUI->searchResult(result);
}

void ServerGateway::gotUserList(UserList* list) {
    if (list) theServerUI->userList(list);
}

void ServerGateway::publishShared() {
    MainServer* connection = serverPool ? serverPool->connection() : nullptr;
    // Not during the login: the server learns the files of a client it has given an id.
    if (!connection || !connection->isLoggedIn() || !theTransferLink->sharedPassDone()) return;
    FileList* shared = theTransferLink->sharedFiles();
    if (!shared) return;
    FileList fresh;
    {
        i4_lock hold(shared);
        for (FileMeta* file : LLView<FileMeta>(shared->getList())) {
            if (published.findByHash(file->getFileHash())) continue;
            FileMeta* copy = new FileMeta(*file);
            copy->stripTransientTags();
            fresh.add(copy);
            published.add(copy);
        }
    }
    connection->publish(&fresh);
    fresh.clear();
}

void ServerGateway::resetServerState() {
    users = 0;
    files = 0;
    published.deleteAll();
}

void ServerGateway::setServerCounts(uint32_t u, uint32_t f) {
    users = u;
    files = f;
}
