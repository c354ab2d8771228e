// Test helpers for the connection layer: socket pairs, frames and a gateway that keeps
// what it was given.
#pragma once

#include <arpa/inet.h>
#include <cstdarg>
#include <cstdint>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "core/UIGateway.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/string/i4_string.h"
#include "net/Connection.h"

// Keeps log, debug and printed lines for the scope of a test.
class CaptureUI : public UIGateway {
public:
    CaptureUI() : saved(theUI) { theUI = this; }
    ~CaptureUI() override { theUI = saved; }

    void log(const char* format, ...) override {
        va_list ap;
        va_start(ap, format);
        logs.push_back(text(format, ap));
        va_end(ap);
    }
    void debug(const char* format, ...) override {
        va_list ap;
        va_start(ap, format);
        debugText += text(format, ap);
        va_end(ap);
    }
    void printLine(const char* format, ...) override {
        va_list ap;
        va_start(ap, format);
        lines.push_back(text(format, ap));
        va_end(ap);
    }

    std::vector<std::string> logs;
    std::vector<std::string> lines;
    std::string debugText;

private:
    static std::string text(const char* format, va_list ap) {
        i4_string s;
        s.vformat(format, ap);
        return s.c_str() ? s.c_str() : "";
    }
    UIGateway* saved;
};

// A connected stream pair: `ours` is an i4_socket for the code under test (not owned here
// once taken), `peer` a plain descriptor the test writes and reads.
struct SockPair {
    SockPair() {
        int fds[2];
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ours = new i4_tcpip_sock(fds[0], I4_SOCK_STREAM);
        peer = fds[1];
    }
    ~SockPair() {
        delete ours;
        if (peer >= 0) close(peer);
    }
    // The socket for a connection to own.
    i4_socket* take() {
        i4_socket* s = ours;
        ours = nullptr;
        return s;
    }
    void peerWrite(const std::string& bytes) {
        ASSERT_EQ((ssize_t)bytes.size(), write(peer, bytes.data(), bytes.size()));
    }
    // Everything waiting on the peer side now.
    std::string peerReadAll() {
        std::string got;
        char buf[4096];
        for (;;) {
            ssize_t n = recv(peer, buf, sizeof buf, MSG_DONTWAIT);
            if (n <= 0) break;
            got.append(buf, (size_t)n);
        }
        return got;
    }
    void closePeer() {
        close(peer);
        peer = -1;
    }

    i4_tcpip_sock* ours;
    int peer;
};

inline std::string le32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; i++) s += (char)((v >> (8 * i)) & 0xff);
    return s;
}

// A whole frame: marker, length, opcode and payload.
inline std::string frame(uint8_t opcode, const std::string& payload, uint8_t marker = 0xE3) {
    return std::string(1, (char)marker) + le32((uint32_t)payload.size() + 1) +
           std::string(1, (char)opcode) + payload;
}

// A plain datagram socket on loopback, standing for a server.
struct UdpPeer {
    UdpPeer() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, bind(fd, (sockaddr*)&a, sizeof a));
        socklen_t len = sizeof a;
        getsockname(fd, (sockaddr*)&a, &len);
        port = ntohs(a.sin_port);
    }
    ~UdpPeer() { close(fd); }
    // One datagram, waiting at most ms; "" when none came.
    std::string receive(int ms = 2000) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, ms) <= 0) return "";
        char buf[4096];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, buf, sizeof buf, 0, (sockaddr*)&from, &len);
        if (n < 0) return "";
        annexPort = ntohs(from.sin_port);
        return std::string(buf, (size_t)n);
    }
    void sendToAnnex(const std::string& bytes) {
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons((uint16_t)annexPort);
        ASSERT_EQ((ssize_t)bytes.size(),
                  sendto(fd, bytes.data(), bytes.size(), 0, (sockaddr*)&to, sizeof to));
    }
    int fd;
    int port;
    int annexPort = 0;
};

// Sets the budgets for a test and puts the unlimited ones back after it.
struct BudgetScope {
    BudgetScope(int32_t receive, int32_t send) {
        Connection::receiveBudget = receive;
        Connection::sendBudget = send;
    }
    ~BudgetScope() {
        Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
        Connection::sendBudget = Connection::UNLIMITED_BUDGET;
    }
};

// A write to a closed peer must fail, not end the test binary (the client ignores it too).
#include <csignal>
namespace {
struct IgnoreSigpipe {
    IgnoreSigpipe() { signal(SIGPIPE, SIG_IGN); }
};
[[maybe_unused]] IgnoreSigpipe ignoreSigpipe;
}  // namespace

#include <memory>

#include "net/ClockedConnection.h"
#include "net/SocketPool.h"

// What happened to a probe, kept outside it so that it outlives the probe.
struct ProbeRecord {
    int attached = 0;
    int tasks = 0;
    bool deleted = false;
    int32_t sendBudgetSeen = -1;
    int32_t receiveBudgetSeen = -1;
    std::vector<int>* order = nullptr;  // shared by several probes: who got a pass, in turn
    int id = 0;
};

// A connection that only records its passes.
struct Probe : ClockedConnection {
    Probe(ProbeRecord& r, i4_socket* s) : rec(r) { sock = s; }
    ~Probe() override { rec.deleted = true; }
    int attach(SocketPool* p) override {
        int a = Connection::attach(p);
        rec.attached += a;
        return a;
    }
    bool doTask() override {
        rec.tasks++;
        rec.sendBudgetSeen = sendBudget;
        rec.receiveBudgetSeen = receiveBudget;
        if (rec.order) rec.order->push_back(rec.id);
        return busy;
    }
    void moved(int32_t sent, int32_t received) {
        bytesSent += sent;
        bytesReceived += received;
    }
    ProbeRecord& rec;
    bool busy = false;
};

// The one protocol of a test binary.
inline i4_protocol* testProtocol() {
    static std::unique_ptr<i4_protocol> p(i4_create_tcpip_protocol(nullptr));
    return p.get();
}
