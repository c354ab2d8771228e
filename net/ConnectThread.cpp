#include "net/ConnectThread.h"

#include "i4min/string/i4_err.h"
#include "net/Connector.h"
#include "net/SocketPool.h"
#include "net/TCPConnection.h"

ConnectThread::ConnectThread(TCPConnection* c, Connector* owner, SocketPool* p)
    : connection(c), connector(owner), pool(p) {}

void ConnectThread::run() {
    requestStop();
    bool ok;
    try {
        ok = connection->openSocket(connector->connectLimit());
    } catch (i4_err&) {
        ok = false;
    }
    // Off the pending list first: once the pool has it, the connection may be gone.
    connector->finished(connection);
    if (ok) {
        pool->add(connection);
    } else {
        connection->onConnectFailed();
        delete connection;
    }
    connection = nullptr;
    connector->threadDone();
}

void ConnectThread::onFinish() {
    delete this;
}
