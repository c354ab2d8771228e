// add, remove and wake: any thread (each pending list has its own lock; the set's wake is
// atomic). Everything else: the core task thread. The active list, the readiness set and the
// budgets have no lock.
#pragma once

#include <atomic>
#include <list>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/TaskWait.h"
#include "core/TimeSliceTask.h"
#include "i4min/threads/linux/i4_mutex.h"

class Connection;
class i4_protocol;
class i4_socket_set;

// Owns every connection handed to it and drives them all: one readiness wait over their
// sockets, then one pass of work each. A connection is attached, detached and deleted only
// at the end of a pass, never while its own doTask runs. The readiness wait is also where the
// core task thread sleeps between passes (TaskWait): handing over a connection wakes it.
// Adding, removing and finding a connection cost the same however many the pool holds.
class SocketPool : public TimeSliceTask, public TaskWait {
public:
    // The protocol makes the readiness set; without one the pool cannot exist.
    explicit SocketPool(i4_protocol* protocol);
    // Over the client's protocol.
    SocketPool();
    // Deletes every connection still held.
    ~SocketPool() override;
    SocketPool(const SocketPool&) = delete;
    SocketPool& operator=(const SocketPool&) = delete;

    // Serves the connections after the readiness wait: the one its thread made between
    // passes (waitForWork), or one of its own of at most WAIT_MS when none was made.
    bool run(int ms) override;
    // Takes in the pending additions, then the pending removals.
    virtual void processPending();

    void waitForWork(int ms) override;
    void wake() override;

    // Null is ignored; a connection already waiting is not added twice.
    void add(Connection* c);
    // Null is ignored; nothing happens to the connection before the end of the pass.
    void remove(Connection* c);
    // One line "(n) text" per active connection.
    void dump();

    i4_socket_set* socketSet() const { return set; }
    // Active connections plus those waiting to be added.
    int connectionCount() const { return count; }
    int activeCount() const { return static_cast<int>(active.size()); }
    // The active list in pass order (core task thread only).
    Connection* activeAt(int i) const;

    enum { WAIT_MS = 100 };

protected:
    // Lets every active connection say what to wait for; flags outside mask are not waited for.
    void prepareWait(int mask);
    // What the readiness wait found: the thread's own wait, else a wait of WAIT_MS.
    int readiness();
    // The ready flags the next wait asks for: all of them unless a subclass holds some back.
    virtual int readinessMask();
    void tickAll(int ms);
    // Called for an active connection just before it is detached.
    virtual void onRemoved(Connection* c);
    // Puts the first active connection last.
    void rotate();

    std::vector<Connection*> pendingRemoval;
    std::unordered_set<Connection*> pendingRemovalSet;
    std::vector<Connection*> pendingAddition;
    std::unordered_set<Connection*> pendingAdditionSet;
    i4_mutex addLock;
    i4_mutex removeLock;
    std::list<Connection*> active;
    std::unordered_map<Connection*, std::list<Connection*>::iterator> activeAtNode;
    i4_socket_set* set;
    std::atomic<int> count;

private:
    int waited;  // the result of the thread's wait not yet served; NO_WAIT when none
    enum { NO_WAIT = -2 };
};
