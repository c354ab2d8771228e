// Runs on its own thread; the connector and the pool it was given outlive it.
#pragma once

#include "core/Thread.h"

class Connector;
class SocketPool;
class TCPConnection;

// One outgoing connection attempt. The connection leaves the connector's pending list
// before it goes to the pool, so nothing on this side reads it once the pool may delete
// it. A failed attempt is reported and deleted on this thread. The thread object
// deletes itself when done.
class ConnectThread : public Thread {
public:
    ConnectThread(TCPConnection* connection, Connector* connector, SocketPool* pool);

    void run() override;
    void onFinish() override;

private:
    TCPConnection* connection;
    Connector* connector;
    SocketPool* pool;
};
