// The front of the server side. The pool, the published list and the counts belong to
// the core task thread; newSearch and extendSearch may also be called from the main
// thread (a command given on the command line) and only post messages: the current
// search is guarded by its own lock. start and stop: the main thread at start-up and
// shut-down.
#pragma once

#include <cstdint>
#include <mutex>

#include "core/NetworkGateway.h"
#include "meta/FileList.h"
#include "server/ExServerAnnex.h"

class Connector;
class FileMeta;
class Search;
class ServerPool;
class ServerUI;
class SocketPool;
class TaskThread;
class UserList;

// The server side as the rest of the client sees it: the transfer side's NetworkGateway,
// the owner of the server pool, the current search, the files published on the current
// connection, and the filter between search results and the UI.
class ServerGateway : public NetworkGateway {
public:
    ServerGateway();
    ~ServerGateway();

    // Registers the server handler and starts the pool on the core's socket pool,
    // connector and task thread.
    void start() override;
    // The same on the given ones (the thread may be null: the caller runs the pool).
    void start(SocketPool* sockets, Connector* connector, TaskThread* thread,
               ExServerAnnex::Clock clock = ExServerAnnex::Clock());
    // Saves the server state.
    void stop() override;
    // Deletes the pool; after the socket pool and the connector it used have gone.
    void deletePool();

    bool requestCallback(UserMeta* user) override;
    int addServer(uint32_t ip, uint16_t port) override;
    DownloadSources* newDownloadSources() override;
    // 2 without a server connection, 1 with an id of at most 0xFFFFFE, else 0.
    int firewallState() override;

    void setUI(ServerUI* ui);
    // Message 0: the settings, then server.met.
    void load();
    // Shut-down and message 1: the settings, then server.met.
    void save();

    // Makes the search current (the gateway takes it over) and sends it (message 5 or 6).
    void newSearch(Search* search);
    // Spreads the current search to the next server (message 8 or 9); false without one.
    bool extendSearch();
    // Results from the connected server (the gateway takes the list): filtered, then to
    // the UI.
    void gotSearchResults(FileList* results, bool more);
    // One result over UDP (taken over): filtered, then to the UI.
    void gotSearchResult(FileMeta* result);
    void gotUserList(UserList* users);
    // Message 17: the shared files not yet published on this connection, once the
    // connection has logged in and the shared list is complete.
    void publishShared();
    // The server connection is gone.
    void resetServerState();

    void setServerCounts(uint32_t users, uint32_t files);
    uint32_t serverUsers() const { return users; }
    uint32_t serverFiles() const { return files; }
    ServerPool* pool() const { return serverPool; }
    FileList& publishedFiles() { return published; }

private:
    ServerGateway(const ServerGateway&) = delete;
    ServerGateway& operator=(const ServerGateway&) = delete;

    FileList published;  // owns its copies
    std::mutex searchLock;
    Search* current;  // one reference held
    uint32_t users;
    uint32_t files;
    ServerPool* serverPool;
};

extern ServerGateway theServerGateway;
