#include "net/Connection.h"

#include "i4min/net/i4_socket.h"
#include "net/SocketPool.h"

int32_t Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
int32_t Connection::sendBudget = Connection::UNLIMITED_BUDGET;

Connection::Connection()
    : notAttached(true),
      pool(nullptr),
      sock(nullptr),
      bytesSent(0),
      bytesReceived(0),
      registered(0) {}

Connection::~Connection() {
    if (sock) {
        sock->cancel();
        delete sock;
    }
}

void Connection::tick(int) {}

int Connection::attach(SocketPool* p) {
    if (!sock || !notAttached || !p) return 0;
    notAttached = false;
    pool = p;
    registered = readinessWanted();
    sock->add_to_set(pool->socketSet(), registered);
    return 1;
}

void Connection::detach() {
    if (sock && pool && registered) sock->remove_from_set(pool->socketSet());
    registered = 0;
    delete this;
}

const char* Connection::describe(i4_string& out) {
    out = "???";
    return out.c_str();
}

int Connection::readinessWanted() {
    return I4_READY_READ | I4_READY_ERROR;
}

void Connection::beforeWait() {
    setReadiness(readinessWanted());
}

void Connection::setReadiness(int flags) {
    if (notAttached || !sock || !pool || flags == registered) return;
    i4_socket_set* set = pool->socketSet();
    if (registered) sock->remove_from_set(set);
    registered = flags;
    if (registered) sock->add_to_set(set, registered);
}

void Connection::chargeReceive(int32_t n) {
    receiveBudget = n >= receiveBudget ? 0 : receiveBudget - n;
}

void Connection::chargeSend(int32_t n) {
    sendBudget = n >= sendBudget ? 0 : sendBudget - n;
}
