// add and remove: any thread (each pending list has its own lock). Everything else: the core
// task thread. The active list, the readiness set and the budgets have no lock.
#pragma once

#include <atomic>

#include "core/TimeSliceTask.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "util/LL.h"

class Connection;
class i4_protocol;
class i4_socket_set;

// Owns every connection handed to it and drives them all: one readiness wait over their
// sockets, then one pass of work each. A connection is attached, detached and deleted only
// at the end of a pass, never while its own doTask runs.
class SocketPool : public TimeSliceTask {
public:
    // The protocol makes the readiness set; without one the pool cannot exist.
    explicit SocketPool(i4_protocol* protocol);
    // Over the client's protocol.
    SocketPool();
    // Deletes every connection still held.
    ~SocketPool() override;
    SocketPool(const SocketPool&) = delete;
    SocketPool& operator=(const SocketPool&) = delete;

    bool run(int ms) override;
    // Takes in the pending additions, then the pending removals.
    virtual void processPending();

    // Null is ignored; a connection already waiting is not added twice.
    void add(Connection* c);
    // Null is ignored; nothing happens to the connection before the end of the pass.
    void remove(Connection* c);
    // One line "(n) text" per active connection.
    void dump();

    i4_socket_set* socketSet() const { return set; }
    // Active connections plus those waiting to be added.
    int connectionCount() const { return count; }
    int activeCount() const { return active.count(); }
    // The active list in pass order (core task thread only).
    Connection* activeAt(int i) const;

    enum { WAIT_MS = 100 };

protected:
    // Lets every active connection say what to wait for.
    void prepareWait();
    void tickAll(int ms);
    // Called for an active connection just before it is detached.
    virtual void onRemoved(Connection* c);

    LL pendingRemoval;
    LL pendingAddition;
    i4_mutex addLock;
    i4_mutex removeLock;
    LL active;
    i4_socket_set* set;
    std::atomic<int> count;
};
