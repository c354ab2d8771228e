// The server side's periodic task. The pass, the message handlers and the protocol
// handlers run on the core task thread. connectFailed also runs on connect threads,
// which is why the connect queue and the connecting flag are under the pool's lock. The
// server list has its own lock, taken for each walk and lookup; the list's lock may be
// taken while the pool's is held, never the reverse. The current connection is atomic: the
// destructor of a failed connection reads it on its connect thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "core/TimeSliceTask.h"
#include "server/ExServerAnnex.h"
#include "server/ExServerList.h"

class Connector;
class MainServer;
class Search;
class ServerGateway;
class ServerMeta;
class SocketPool;
struct IpPort;

// Holds the known servers, the one server connection, the datagram annex that talks to
// every server and the queue of servers still to try: connects, fails over, connects by
// itself when asked to, pings every server every 90 minutes, forgets dead servers and
// spreads searches and source requests over the list.
class ServerPool : public TimeSliceTask {
public:
    static const int64_t AUTO_CONNECT_EVERY_MS = 60000;
    enum { MAX_QUEUE = 6000 };

    // Makes the annex and hands it to the socket pool, which owns it from then on. The
    // pool must go after the socket pool and the connector have (or before any
    // connection it made outlives it).
    ServerPool(ServerGateway& gateway, SocketPool* sockets, Connector* connector,
               ExServerAnnex::Clock clock = ExServerAnnex::Clock());
    ~ServerPool() override;

    // Ages and pings the servers, forgets dead ones and connects by itself when due.
    bool run(int elapsedMs) override;

    // Appends the servers of the list file; each is pinged at the next pass.
    bool loadList(const char* path);
    // Replaces the file whole or not at all; a failure is reported and keeps the old one.
    // An empty list makes no file where there was none.
    bool saveList(const char* path);
    // Adds the servers of the list file that are not listed yet.
    void mergeList(const char* path);

    // 0 for ip 0 or a port outside 1..65535; else 1, the server listed (new or not).
    int addServer(uint32_t ip, int port);
    void removeServer(uint32_t ip, uint16_t port);
    void setPreference(uint32_t ip, uint16_t port, int32_t pref);
    // A server's own record (op 65): its announced tags, the client's own figures kept.
    void updateServer(ServerMeta* record);
    // A status answer (UDP op 151).
    void setStatus(uint32_t ip, uint16_t port, int32_t ping, uint32_t users, uint32_t files);

    // The login makes the connection the current one.
    void setConnection(MainServer* connection);
    // The connection is gone; when it was the current one the UI and the gateway hear it.
    void connectionClosed(MainServer* connection);

    // Message 2: to that server (null: to any).
    void connect(const IpPort* target);
    void connectAny();
    // Message 4: the next queued server.
    void tryNext();
    // A connection that never logged in has ended: the next queued server is tried.
    void connectFailed(uint32_t ip, uint16_t port);
    // After a login and on disconnect: no further server is tried.
    void stopConnecting();
    // Message 3.
    void disconnect();

    // Messages 5 and 6, 7, 8 and 9.
    void search(Search* search, bool kind0);
    void moreResults();
    void extendSearch(Search* search, bool kind0);
    // Asks the low-id client's server to have it call back: 0 when not connected.
    int requestCallback(uint32_t serverIp, uint16_t serverPort, uint32_t clientId);
    // Asks the first server in list order that has no request pending for the file.
    void askAllForSources(const uint8_t hash[16]);
    // Every server forgets its pending request for the file.
    void forgetSources(const uint8_t hash[16]);

    // The annex is being deleted by its socket pool.
    void annexGone(ExServerAnnex* gone);

    MainServer* connection() const { return current.load(); }
    ExServerList& servers() { return list; }
    ExServerAnnex* annex() const { return udp.load(); }
    ServerGateway& gateway() { return owner; }
    bool isConnecting();
    int queuedServers();
    int64_t autoConnectCountdown() const { return autoCountdown; }

private:
    // Under the pool's lock.
    void connectNext();
    void clearQueue();
    void fillQueue(int n);

    ServerGateway& owner;
    Connector* connector;
    // Recursive: a connector that cannot start a connect thread deletes the connection
    // at once, and its destructor reports the failure from inside connectNext.
    std::recursive_mutex lock;
    bool connecting;
    std::deque<ServerMeta*> queue;  // owned copies, tried from the front
    int extendIndex;
    int64_t autoCountdown;
    std::atomic<ExServerAnnex*> udp;
    std::atomic<MainServer*> current;
    ExServerList list;  // owns its records
};
