#include "net/Connector.h"

#include "i4min/net/i4_protocol.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_thread.h"
#include "net/ConnectThread.h"
#include "net/TCPConnection.h"
#include "util/LLView.h"

Connector::Connector(SocketPool* p) : pool(p), limitMs(I4_CONNECT_LIMIT_MS), threads(0) {}

Connector::~Connector() {
    // Each attempt ends within its limit.
    while (threads.load() > 0) i4_sleep_ms(10);
}

TCPConnection* Connector::findSame(uint32_t ip, int port) {
    for (TCPConnection* c : LLView<TCPConnection>(pending)) {
        if (c->getIp() == ip && c->getPort() == port) return c;
    }
    return nullptr;
}

int Connector::connect(TCPConnection* connection) {
    if (!connection) return 1;
    {
        i4_lock guard(&lock);
        // Deleting the refused one here would run its destructor under the caller's locks.
        if (findSame(connection->getIp(), connection->getPort())) return 0;
        pending.append(connection);
        threads++;
        ConnectThread* t = new ConnectThread(connection, this, pool);
        t->start();
        // The thread cannot finish while the lock is held (it takes it in finished), so a
        // thread that is not running now was never made.
        if (t->getState() != Thread::NOT_RUNNING) return 1;
        delete t;
        pending.remove(connection);
        threads--;
    }
    connection->onConnectFailed();
    delete connection;
    return 1;
}

void Connector::finished(TCPConnection* connection) {
    i4_lock guard(&lock);
    pending.remove(connection);
}

void Connector::threadDone() {
    threads--;
}

int Connector::pendingCount() {
    i4_lock guard(&lock);
    return pending.count();
}

bool Connector::isPending(uint32_t ip, int port) {
    i4_lock guard(&lock);
    return findSame(ip, port) != nullptr;
}
