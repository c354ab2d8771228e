#include "net/TCPConnection.h"

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_address.h"
#include "i4min/net/i4_socket.h"
#include "i4min/string/i4_err.h"
#include "net/SocketPool.h"

TCPConnection::TCPConnection(uint32_t ipAddr, int portNo, uint8_t marker, uint32_t maxFrame)
    : connected(false),
      firstHandled(false),
      closeNowFlag(false),
      dropping(false),
      incoming(marker, maxFrame),
      ip(ipAddr),
      port(portNo) {
    ipText.format("%d.%d.%d.%d", ip & 0xff, (ip >> 8) & 0xff, (ip >> 16) & 0xff, ip >> 24);
}

TCPConnection::TCPConnection(i4_socket* accepted, uint8_t marker, uint32_t maxFrame)
    : connected(false),
      firstHandled(false),
      closeNowFlag(false),
      dropping(false),
      incoming(marker, maxFrame),
      ip(0),
      port(0),
      ipText("") {
    sock = accepted;
}

TCPConnection::~TCPConnection() {
    while (TCPPacket* p = static_cast<TCPPacket*>(sendQueue.removeAt(0))) delete p;
}

int TCPConnection::attach(SocketPool* p) {
    int r = Connection::attach(p);
    if (r && connected) onConnected();
    return r;
}

const char* TCPConnection::describe(i4_string& out) {
    out = "TCP";
    return out.c_str();
}

int TCPConnection::readinessWanted() {
    int flags = I4_READY_READ | I4_READY_ERROR;
    if (sendQueue.count() > 0) flags |= I4_READY_WRITE;
    return flags;
}

void TCPConnection::beforeWait() {
    // A connection with nothing to read or write would not get a pass for a close
    // asked from elsewhere.
    if (closeNowFlag && !dropping) drop();
    Connection::beforeWait();
}

bool TCPConnection::handlePacket(uint8_t opcode, i4_file*) {
    theUI->debug("Unknown msg from TCPConnection: %d\n", opcode);
    return true;
}

bool TCPConnection::handleFirstPacket(uint8_t opcode, i4_file* payload) {
    return handlePacket(opcode, payload);
}

Connection* TCPConnection::createConnection(i4_socket*) {
    return nullptr;
}

void TCPConnection::onConnected() {}

void TCPConnection::onConnectFailed() {}

const char* TCPConnection::getName() {
    return ipText.c_str() ? ipText.c_str() : "";
}

void TCPConnection::send(TCPPacket* packet) {
    if (packet) sendQueue.append(packet);
}

void TCPConnection::closeAfterSend() {
    sendQueue.append(TCPPacket::closeMarker());
}

void TCPConnection::closeNow() {
    closeNowFlag = true;
}

void TCPConnection::drop() {
    if (dropping) return;
    dropping = true;
    if (pool) pool->remove(this);
}

bool TCPConnection::doTask() {
    if (dropping || !sock || !pool) return false;
    try {
        if (closeNowFlag) {
            drop();
            return false;
        }
        int flags =
            sock->check_set(pool->socketSet(), I4_READY_READ | I4_READY_WRITE | I4_READY_ERROR);
        if (flags & I4_READY_ERROR) {
            drop();
            return false;
        }
        bool active = false;
        if (flags & I4_READY_READ) {
            bool ok = readStep();
            if (ok && !dropping) ok = readStep();
            active = ok;
        }
        // Write readiness was not asked for when the queue was empty at the wait; a packet
        // queued since (often the answer to what was just read) is simply tried.
        bool writable = (flags & I4_READY_WRITE) || !(registered & I4_READY_WRITE);
        if (!dropping && writable && sendQueue.count() > 0) {
            bool done = writeStep();
            if (done && !dropping) done = writeStep();
            active = active || done;
        }
        return active;
    } catch (i4_err&) {
        theUI->debug("Exception in TCPConnection::doTask %s\n",
                     ipText.c_str() ? ipText.c_str() : "");
        drop();
        return false;
    }
}

bool TCPConnection::readStep() {
    // A frame is read on while its bytes are there, not one read per pass: a large frame
    // would otherwise take a pass for every doubling of its buffer.
    int r;
    int32_t n;
    do {
        n = 0;
        r = incoming.readFrom(sock, &n);
        bytesReceived += n;
    } while (r == PACKET_NOT_DONE && n > 0);
    if (r == PACKET_ERROR) {
        incoming.reset();
        drop();
        return false;
    }
    if (r == PACKET_COMPLETE) {
        if (dispatch())
            incoming.reset();
        else
            drop();
    }
    return true;
}

bool TCPConnection::dispatch() {
    i4_file* payload = &incoming.file();
    uint8_t opcode = payload->read_8();
    if (!firstHandled) {
        firstHandled = true;
        return handleFirstPacket(opcode, payload);
    }
    return handlePacket(opcode, payload);
}

bool TCPConnection::writeStep() {
    // Only this thread takes packets off, so the head stays put while it is written.
    TCPPacket* p = static_cast<TCPPacket*>(sendQueue.first());
    if (!p) return false;
    if (p->isClose()) {
        drop();
        return false;
    }
    int32_t n = 0;
    int r = p->writeTo(sock, &n);
    bytesSent += n;
    if (r == PACKET_COMPLETE) {
        sendQueue.remove(p);
        p->onSent();
        delete p;
        return true;
    }
    if (r == PACKET_ERROR) {
        sendQueue.remove(p);
        delete p;
        drop();
    }
    return false;
}

bool TCPConnection::openSocket(int32_t limitMs) {
    if (sock) return true;
    i4_protocol* protocol = theProtocolHolder.get();
    if (!protocol) {
        theUI->print("ERROR: Protocol NULL\n");
        return false;
    }
    i4_address* address = protocol->name_to_address(getIpText().c_str() ? getIpText().c_str() : "");
    if (!address) return false;
    address->set_port(port);
    // Bounded, and without a process-wide lock: one unreachable address never holds up
    // another connect.
    sock = protocol->connect(address, I4_SOCK_STREAM, 1, limitMs);
    delete address;
    if (!sock) return false;
    // Only writable without an error counts: a refused or reset connect shows both.
    if (sock->wait(I4_READY_WRITE | I4_READY_ERROR, limitMs) != I4_READY_WRITE) {
        // Forgotten, or a later attempt would take the dead socket for a connected one.
        delete sock;
        sock = nullptr;
        return false;
    }
    sock->set_blocking(0);
    connected = true;
    return true;
}

bool TCPConnection::connect(SocketPool* target, int32_t limitMs) {
    if (!openSocket(limitMs)) {
        onConnectFailed();
        return false;
    }
    target->add(this);
    return true;
}
