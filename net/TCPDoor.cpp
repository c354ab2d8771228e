#include "net/TCPDoor.h"

#include "core/ProtocolHolder.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_socket.h"
#include "i4min/string/i4_err.h"
#include "net/SocketPool.h"

TCPDoor::TCPDoor(int portNo) : port(portNo), ownerSlot(nullptr) {}

TCPDoor::~TCPDoor() {
    clearOwnerSlot();
}

void TCPDoor::clearOwnerSlot() {
    if (ownerSlot && *ownerSlot == this) *ownerSlot = nullptr;
    ownerSlot = nullptr;
}

bool TCPDoor::open(i4_protocol* protocol, int32_t timeoutMs) {
    if (sock || !protocol) return false;
    i4_socket* s = protocol->listen(port, timeoutMs, I4_SOCK_STREAM, nullptr);
    if (!s) return false;
    s->set_blocking(0);
    sock = s;
    return true;
}

bool TCPDoor::open(int32_t timeoutMs) {
    return open(theProtocolHolder.get(), timeoutMs);
}

const char* TCPDoor::describe(i4_string& out) {
    out = "TCPDoor";
    return out.c_str();
}

bool TCPDoor::acceptAllowed() {
    return true;
}

bool TCPDoor::doTask() {
    if (!sock || !pool) return false;
    try {
        int flags = sock->check_set(pool->socketSet(), I4_READY_READ | I4_READY_ERROR);
        if (flags & I4_READY_ERROR) {
            clearOwnerSlot();
            pool->remove(this);
            return false;
        }
        if (!(flags & I4_READY_READ)) return false;
        i4_socket* accepted = nullptr;
        if (!sock->accept(&accepted) || !accepted) return false;
        Connection* made = nullptr;
        if (acceptAllowed()) {
            accepted->set_blocking(0);
            made = createConnection(accepted);
        }
        if (made) {
            pool->add(made);
        } else {
            // The peer sees the connection closed at once.
            accepted->cancel();
            delete accepted;
        }
        return true;
    } catch (i4_err&) {
        return false;
    }
}
