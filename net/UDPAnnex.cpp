#include "net/UDPAnnex.h"

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_address.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/string/i4_err.h"
#include "net/SocketPool.h"
#include "net/UDPPacket.h"

UDPAnnex::UDPAnnex(uint8_t m) : sender(nullptr), received(buffer, 0, 0), marker(m) {
    i4_tcpip_sock* s = new i4_tcpip_sock(I4_SOCK_DGRAM);
    if (s->creation_failed()) {
        delete s;
        throw i4_err("ERROR: UDPAnnex::UDPAnnex()");
    }
    s->set_blocking(0);
    sock = s;
}

UDPAnnex::UDPAnnex(int port, int32_t timeoutMs, uint8_t m)
    : sender(nullptr), received(buffer, 0, 0), marker(m) {
    i4_protocol* protocol = theProtocolHolder.get();
    if (!protocol) throw i4_err("couldn't create UDPAnnex: prot null");
    sock = protocol->listen(port, timeoutMs, I4_SOCK_DGRAM, nullptr);
    if (!sock) throw i4_err("couldn't create UDPAnnex");
    sock->set_blocking(0);
}

UDPAnnex::~UDPAnnex() {
    delete sender;
    while (UDPPacket* p = static_cast<UDPPacket*>(sendQueue.removeAt(0))) delete p;
}

void UDPAnnex::queuePacket(UDPPacket* packet) {
    if (packet) sendQueue.append(packet);
}

int UDPAnnex::readinessWanted() {
    int flags = I4_READY_READ | I4_READY_ERROR;
    if (sendQueue.count() > 0) flags |= I4_READY_WRITE;
    return flags;
}

const char* UDPAnnex::describe(i4_string& out) {
    out.format("UDPAnnex (%.2f,%.2f)", receiveAvg, sendAvg);
    return out.c_str();
}

bool UDPAnnex::doTask() {
    if (!sock || !pool) return false;
    bool active = false;
    try {
        int flags =
            sock->check_set(pool->socketSet(), I4_READY_READ | I4_READY_WRITE | I4_READY_ERROR);
        // The socket stays: for a datagram socket the error was a queued ICMP notice, and
        // reading it has cleared it.
        if (flags & I4_READY_ERROR) return false;
        if (flags & I4_READY_READ) {
            active = true;
            readDatagrams();
        }
        // Write readiness is not asked for while the queue is empty; a datagram queued since
        // the wait is simply tried.
        bool writable = (flags & I4_READY_WRITE) || !(registered & I4_READY_WRITE);
        if (writable && sendQueue.count() > 0) {
            writeToSocket();
            return true;
        }
        return active;
    } catch (i4_err&) {
        return active;
    }
}

void UDPAnnex::readDatagrams() {
    delete sender;
    sender = nullptr;
    int32_t n = 1;
    while (n > 0 && receiveBudget > 0) {
        n = sock->read_from(buffer, BUFFER_SIZE, &sender);
        if (n <= 0) break;
        chargeReceive(n);
        bytesReceived += n;
        // The view ends at this datagram: a handler reading past it fails instead of
        // reading what an earlier, longer datagram left in the buffer.
        received.reset(buffer, n, 0);
        if (received.read_8() == marker) handleDatagram(received, sender);
        delete sender;
        sender = nullptr;
    }
}

void UDPAnnex::writeToSocket() {
    UDPPacket* p = static_cast<UDPPacket*>(sendQueue.get(0));
    if (!p) return;
    bool sent = true;
    try {
        int32_t n = 0;
        p->writeTo(sock, &n);
        if (n > 0) {
            bytesSent += n;
            chargeSend(n);
        }
    } catch (i4_err&) {
        theUI->debug("UDPAnnex::writeToSocket i4_err\n");
        sent = false;
    }
    // Datagrams are never retried.
    sendQueue.remove(p);
    if (sent) p->onSent();
    delete p;
}
