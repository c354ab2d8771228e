#include "net/ClientNetwork.h"

#include "net/Connector.h"
#include "net/STSocketPool.h"

ClientNetwork theClientNetwork;

TimeSliceTask* ClientNetwork::open(STSocketPool** pool, Connector** connector) {
    STSocketPool* made = new STSocketPool(&bandwidth);
    *pool = made;
    *connector = new Connector(made);
    return made;
}

int ClientNetwork::connectionCount(STSocketPool* pool) {
    return pool ? pool->connectionCount() : 0;
}

void ClientNetwork::close(STSocketPool* pool, Connector* connector) {
    // The connector first: it waits for its connect threads, which hand connections to
    // the pool.
    delete connector;
    delete pool;
}
