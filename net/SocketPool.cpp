#include "net/SocketPool.h"

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/Connection.h"

SocketPool::SocketPool(i4_protocol* protocol) : set(nullptr), count(0), waited(NO_WAIT) {
    if (!protocol) throw i4_err("SocketPool :prot null");
    set = protocol->create_socket_set();
}

SocketPool::~SocketPool() {
    processPending();
    for (Connection* c : active) {
        if (c->isAttached())
            c->detach();
        else
            delete c;
    }
    active.clear();
    activeAtNode.clear();
    delete set;
}

SocketPool::SocketPool() : SocketPool(theProtocolHolder.get()) {}

void SocketPool::add(Connection* c) {
    if (!c) return;
    {
        i4_lock hold(&addLock);
        if (!pendingAdditionSet.insert(c).second) return;
        pendingAddition.push_back(c);
        count++;
    }
    set->wake();
}

void SocketPool::remove(Connection* c) {
    if (!c) return;
    {
        i4_lock hold(&removeLock);
        if (!pendingRemovalSet.insert(c).second) return;
        pendingRemoval.push_back(c);
    }
    set->wake();
}

void SocketPool::wake() {
    set->wake();
}

Connection* SocketPool::activeAt(int i) const {
    if (i < 0) return nullptr;
    for (Connection* c : active)
        if (i-- == 0) return c;
    return nullptr;
}

void SocketPool::processPending() {
    // The lists are taken over under their locks and worked outside them: an attach or a
    // destructor may well hand something new to the pool.
    std::vector<Connection*> adding;
    std::unordered_set<Connection*> stillAdding;
    {
        i4_lock hold(&addLock);
        adding.swap(pendingAddition);
        stillAdding.swap(pendingAdditionSet);
    }
    for (Connection* c : adding) {
        // Removed again before its turn came (see below), or a stale entry of such a one:
        // each addition is taken in once.
        if (!stillAdding.erase(c)) continue;
        if (activeAtNode.count(c)) {
            count--;
            continue;
        }
        activeAtNode[c] = active.insert(active.end(), c);
        c->attach(this);
    }

    std::vector<Connection*> removing;
    {
        i4_lock hold(&removeLock);
        removing.swap(pendingRemoval);
        pendingRemovalSet.clear();
    }
    for (Connection* c : removing) {
        {
            // Added from another thread since the additions were taken in: it must not be
            // attached after it is gone.
            // Its entry stays in the list and is passed over when the list is taken in.
            i4_lock hold(&addLock);
            if (pendingAdditionSet.erase(c)) count--;
        }
        auto at = activeAtNode.find(c);
        if (at != activeAtNode.end()) {
            active.erase(at->second);
            activeAtNode.erase(at);
            count--;
            onRemoved(c);
        }
        // A connection that never got into the set (a door whose open failed) is only deleted.
        if (c->isAttached())
            c->detach();
        else
            delete c;
    }
}

void SocketPool::onRemoved(Connection*) {}

void SocketPool::rotate() {
    if (active.size() > 1) active.splice(active.end(), active, active.begin());
}

int SocketPool::readinessMask() {
    return I4_READY_READ | I4_READY_WRITE | I4_READY_ERROR;
}

void SocketPool::prepareWait(int mask) {
    for (Connection* c : active) {
        c->beforeWait();
        if (mask != (I4_READY_READ | I4_READY_WRITE | I4_READY_ERROR))
            c->setReadiness(c->readinessWanted() & mask);
    }
}

void SocketPool::waitForWork(int ms) {
    prepareWait(readinessMask());
    waited = set->wait(ms);
}

int SocketPool::readiness() {
    int ready = waited;
    waited = NO_WAIT;
    if (ready != NO_WAIT) return ready;
    prepareWait(readinessMask());
    return set->wait(WAIT_MS);
}

void SocketPool::tickAll(int ms) {
    for (Connection* c : active) c->tick(ms);
}

bool SocketPool::run(int ms) {
    bool busy = false;
    try {
        int ready = readiness();
        if (ready <= 0) {
            tickAll(ms);
        } else {
            Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
            Connection::sendBudget = Connection::UNLIMITED_BUDGET;
            for (Connection* c : active) {
                c->tick(ms);
                if (c->doTask()) busy = true;
            }
        }
        processPending();
    } catch (i4_err& e) {
        theUI->debug("*** Exception in SocketPool::run(): %s\n", e.message());
    }
    return busy;
}

void SocketPool::dump() {
    int n = 1;
    i4_string text;
    for (Connection* c : active) theUI->printLine("(%d) %s", n++, c->describe(text));
}
