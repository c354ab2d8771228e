#include "net/SocketPool.h"

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/Connection.h"

SocketPool::SocketPool(i4_protocol* protocol) : set(nullptr), count(0) {
    if (!protocol) throw i4_err("SocketPool :prot null");
    set = protocol->create_socket_set();
}

SocketPool::~SocketPool() {
    processPending();
    while (Connection* c = static_cast<Connection*>(active.removeAt(0))) {
        if (c->isAttached())
            c->detach();
        else
            delete c;
    }
    delete set;
}

SocketPool::SocketPool() : SocketPool(theProtocolHolder.get()) {}

void SocketPool::add(Connection* c) {
    if (!c) return;
    i4_lock hold(&addLock);
    if (pendingAddition.addUnique(c)) count++;
}

void SocketPool::remove(Connection* c) {
    if (!c) return;
    i4_lock hold(&removeLock);
    pendingRemoval.addUnique(c);
}

Connection* SocketPool::activeAt(int i) const {
    return static_cast<Connection*>(active.get(i));
}

void SocketPool::processPending() {
    // The lists are taken over under their locks and worked outside them: an attach or a
    // destructor may well hand something new to the pool.
    LL adding;
    {
        i4_lock hold(&addLock);
        adding.appendAll(&pendingAddition);
        pendingAddition.clear();
    }
    while (Connection* c = static_cast<Connection*>(adding.removeAt(0))) {
        if (active.contains(c)) {
            count--;
            continue;
        }
        active.append(c);
        c->attach(this);
    }

    LL removing;
    {
        i4_lock hold(&removeLock);
        removing.appendAll(&pendingRemoval);
        pendingRemoval.clear();
    }
    while (Connection* c = static_cast<Connection*>(removing.removeAt(0))) {
        {
            // Added from another thread since the additions were taken in: it must not be
            // attached after it is gone.
            i4_lock hold(&addLock);
            if (pendingAddition.remove(c)) count--;
        }
        if (active.remove(c)) {
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

void SocketPool::prepareWait() {
    LLNode* at = nullptr;
    while (Connection* c = static_cast<Connection*>(LL::next(&active, &at))) c->beforeWait();
}

void SocketPool::tickAll(int ms) {
    LLNode* at = nullptr;
    while (Connection* c = static_cast<Connection*>(LL::next(&active, &at))) c->tick(ms);
}

bool SocketPool::run(int ms) {
    bool busy = false;
    try {
        prepareWait();
        int ready = set->wait(WAIT_MS);
        if (ready <= 0) {
            tickAll(ms);
        } else {
            Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
            Connection::sendBudget = Connection::UNLIMITED_BUDGET;
            LLNode* at = nullptr;
            while (Connection* c = static_cast<Connection*>(LL::next(&active, &at))) {
                c->tick(ms);
                if (c->doTask()) busy = true;
            }
        }
        processPending();
    } catch (i4_err&) {
    }
    return busy;
}

void SocketPool::dump() {
    LLNode* at = nullptr;
    int n = 1;
    i4_string text;
    while (Connection* c = static_cast<Connection*>(LL::next(&active, &at)))
        theUI->printLine("(%d) %s", n++, c->describe(text));
}
