// connect: the core task thread (server pool, client pool). finished: connect threads. The
// mutex guards the pending list; a connection on it is touched only by its connect thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "i4min/threads/linux/i4_mutex.h"
#include "util/LL.h"

class SocketPool;
class TCPConnection;

// Opens outgoing connections, one connect thread an attempt, and refuses a second attempt
// to an address and port while one is under way.
class Connector {
public:
    explicit Connector(SocketPool* pool);
    // Waits until every connect thread it started has let go of it and of the pool.
    ~Connector();

    // 1: a connect thread now owns the connection (also for null, which does nothing).
    // 0: an attempt to the same ip and port is under way; the connection is refused
    // untouched and stays the caller's to delete, with no failure reported.
    int connect(TCPConnection* connection);
    // A connect thread is done with the connection: it leaves the pending list.
    void finished(TCPConnection* connection);
    // A connect thread has ended its work with the connector and the pool.
    void threadDone();

    int pendingCount();
    // Whether an attempt to ip:port is under way.
    bool isPending(uint32_t ip, int port);
    SocketPool* getPool() const { return pool; }
    // How long each attempt may take before it gives up.
    int32_t connectLimit() const { return limitMs.load(); }
    void setConnectLimit(int32_t ms) { limitMs = ms; }

private:
    Connector(const Connector&) = delete;
    Connector& operator=(const Connector&) = delete;

    // Under the mutex.
    TCPConnection* findSame(uint32_t ip, int port);

    i4_mutex lock;
    LL pending;  // not owned
    SocketPool* pool;
    std::atomic<int32_t> limitMs;
    std::atomic<int> threads;
};
