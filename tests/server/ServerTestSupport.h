// Test helpers for the server side: a recording transfer side and server UI, a fixture
// that runs the server gateway over a socket pool of the test's own with an injected
// clock, and the server's end of a real loopback connection.
#pragma once

#include <cstdio>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/ServerUI.h"
#include "i4min/net_test_support.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"
#include "net/Connector.h"
#include "net/NetTestSupport.h"
#include "net/SocketPool.h"
#include "net/TCPPacket.h"
#include "server/MainServer.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "server/TransferLink.h"
#include "support/Waiting.h"
#include "util/LLView.h"

namespace servertest {

const uint32_t LOOPBACK = 0x0100007Fu;

inline std::string le16(uint16_t v) {
    return std::string{(char)(v & 0xff), (char)(v >> 8)};
}

inline std::string text(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}

inline std::string tagString(const std::string& name, const std::string& value) {
    return std::string(1, '\x02') + text(name) + text(value);
}

inline std::string tagInt(const std::string& name, uint32_t value) {
    return std::string(1, '\x03') + text(name) + le32(value);
}

inline std::string special(int id) {
    return std::string(1, (char)id);
}

inline std::string tagList(const std::vector<std::string>& tags) {
    std::string s = le32((uint32_t)tags.size());
    for (const std::string& t : tags) s += t;
    return s;
}

inline std::string hash16(char fill) {
    return std::string(16, fill);
}

// A file in wire form.
inline std::string fileWire(const std::string& hash, const std::vector<std::string>& tags) {
    return hash + le32(0) + le16(0) + tagList(tags);
}

inline std::string hex32(uint32_t v) {
    char buf[16];
    snprintf(buf, sizeof buf, "%08x", v);
    return buf;
}

// Stands for the transfer side: one download per known hash, shared files on demand,
// every call kept in order.
struct RecordingLink : TransferLink {
    RecordingLink() : saved(theTransferLink) { theTransferLink = this; }
    ~RecordingLink() override { theTransferLink = saved; }

    Download* findDownload(const uint8_t h[16]) override {
        for (size_t i = 0; i < downloads.size(); ++i)
            if (memcmp(downloads[i].data(), h, 16) == 0) {
                found++;
                return reinterpret_cast<Download*>(i + 1);
            }
        return nullptr;
    }
    void addSource(Download* d, UserMeta* u) override {
        calls.push_back("source d" + std::to_string(reinterpret_cast<uintptr_t>(d)) + " " +
                        hex32(u->ip) + ":" + std::to_string(u->port) + " via " +
                        hex32(u->serverIp) + ":" + std::to_string(u->serverPort));
    }
    void releaseDownload(Download*) override { released++; }
    void downloadCallbackFailed(uint32_t ip, uint32_t id) override {
        calls.push_back("download callback failed " + hex32(ip) + " " + std::to_string(id));
    }
    void friendCallbackFailed(uint32_t ip, uint32_t id) override {
        calls.push_back("friend callback failed " + hex32(ip) + " " + std::to_string(id));
    }
    void uploadCallbackFailed(uint32_t ip, uint32_t id) override {
        calls.push_back("upload callback failed " + hex32(ip) + " " + std::to_string(id));
    }
    int connectPeer(UserMeta* u, Peer** existing) override {
        calls.push_back("connect " + hex32(u->ip) + ":" + std::to_string(u->port));
        if (onConnect) onConnect(u);
        if (alreadyOpen) *existing = reinterpret_cast<Peer*>(0x10);
        return alreadyOpen ? 0 : 1;
    }
    void sendIdChange(Peer*) override { calls.push_back("id change"); }
    void broadcast(TCPPacket* p) override {
        broadcasts.push_back(std::string((const char*)p->bytes(), (size_t)p->getSize()));
        delete p;
    }
    FileList* sharedFiles() override { return shared; }
    bool sharedPassDone() override { return passDone; }

    TransferLink* saved;
    std::vector<std::string> downloads;  // 16-byte hashes being downloaded
    std::vector<std::string> calls;
    std::vector<std::string> broadcasts;
    int found = 0;
    int released = 0;
    bool alreadyOpen = false;
    std::function<void(UserMeta*)> onConnect;
    FileList* shared = nullptr;
    bool passDone = false;
};

// Keeps what the server side reported, in order.
struct RecordingServerUI : ServerUI {
    RecordingServerUI() : saved(theServerUI) { theServerUI = this; }
    ~RecordingServerUI() override { theServerUI = saved; }

    void connected(const char* name) override {
        events.push_back(std::string("connected ") + name);
    }
    void disconnected() override { events.push_back("disconnected"); }
    void serverListChanged() override { events.push_back("list changed"); }
    void serverStatus(uint32_t files, uint32_t users) override {
        events.push_back("status files " + std::to_string(files) + " users " +
                         std::to_string(users));
    }
    void extendingTo(const char* name) override {
        events.push_back(std::string("extending ") + name);
    }
    void searchResult(FileMeta* r) override {
        results.push_back(r->getName());
        delete r;
    }
    void searchResults(FileList* list, bool more) override {
        events.push_back(more ? "results more" : "results");
        for (Meta* m : LLView<Meta>(list->getList())) results.push_back(m->getName());
        ServerUI::searchResults(list, more);
    }
    void userList(UserList* users) override {
        events.push_back("users " + std::to_string(users->getList()->count()));
        ServerUI::userList(users);
    }

    ServerUI* saved;
    std::vector<std::string> events;
    std::vector<std::string> results;
};

// The server gateway over a socket pool and connector of the test's own, its clock in the
// test's hand. The pool is run by pump, never by a task thread.
class ServerFixture : public ::testing::Test {
protected:
    ServerFixture() {
        initSpecialTags();
        theProtocolHolder.setProxy(nullptr);
        savedId = theCoreOptions.getClientId();
        sockets.reset(new SocketPool(testProtocol()));
        connector.reset(new Connector(sockets.get()));
        theServerGateway.start(sockets.get(), connector.get(), nullptr, [this] { return now; });
    }
    ~ServerFixture() override {
        drainMessages();
        // The connections and the annex go first: they report to the pool.
        connector.reset();
        sockets.reset();
        theServerGateway.deletePool();
        theServerGateway.resetServerState();
        theCoreOptions.setClientId(savedId);
    }

    ServerPool& pool() { return *theServerGateway.pool(); }

    // Runs passes of the socket pool until done() holds; false if it never does.
    bool pump(const std::function<bool()>& done) {
        return passUntil(done, [&] { sockets->run(10); });
    }

    // Hands queued messages to their handlers; how many there were.
    int drainMessages() {
        int n = 0;
        while (theMessageQ.pending() > 0 && n < 1000) {
            theMessageQ.run(0);
            n++;
        }
        return n;
    }

    int64_t now = 0;
    uint32_t savedId = 0;
    std::unique_ptr<SocketPool> sockets;
    std::unique_ptr<Connector> connector;
};

// A server's UDP side: the record's TCP port is the peer's port - 4.
struct UdpServer : UdpPeer {
    uint16_t tcpPort() const { return (uint16_t)(port - 4); }
    void send(uint8_t op, const std::string& payload) {
        sendToAnnex(std::string("\xe3") + (char)op + payload);
    }
};

// The server's end of a loopback TCP connection: a listener, then one accepted client
// whose frames are taken apart as they arrive.
class ServerEnd {
public:
    ServerEnd() { listener = nettest::listen_loopback(4, &port); }
    ~ServerEnd() {
        if (client >= 0) close(client);
        if (listener >= 0) close(listener);
    }

    bool accept(int ms = 5000) {
        if (!nettest::wait_readable(listener, ms)) return false;
        client = ::accept(listener, nullptr, nullptr);
        return client >= 0;
    }
    void send(const std::string& bytes) {
        ASSERT_EQ((ssize_t)bytes.size(), ::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL));
    }
    void send(uint8_t op, const std::string& payload) { send(frame(op, payload)); }
    void closeSocket() {
        if (client >= 0) close(client);
        client = -1;
    }

    // Whatever arrived; true when the client closed its end.
    bool readAvailable() {
        char buf[65536];
        for (;;) {
            ssize_t n = recv(client, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                pending.append(buf, (size_t)n);
                continue;
            }
            if (n == 0) closed = true;
            return closed;
        }
    }
    // A whole frame (opcode and payload) when one has arrived.
    bool takeFrame(std::string& body) {
        readAvailable();
        if (pending.size() < 5) return false;
        uint32_t len = (uint8_t)pending[1] | (uint8_t)pending[2] << 8 | (uint8_t)pending[3] << 16 |
                       (uint32_t)(uint8_t)pending[4] << 24;
        if (pending.size() < 5 + (size_t)len) return false;
        EXPECT_EQ(0xE3, (uint8_t)pending[0]);
        body = pending.substr(5, len);
        pending.erase(0, 5 + len);
        return true;
    }

    int listener = -1;
    int port = 0;
    int client = -1;
    bool closed = false;
    std::string pending;
};

}  // namespace servertest
