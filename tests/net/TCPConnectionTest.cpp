#include <gtest/gtest.h>
#include <sys/socket.h>
#include <thread>

#include "NetTestSupport.h"
#include "core/ProtocolHolder.h"
#include "i4min/net_test_support.h"
#include "net/STSocketPool.h"
#include "net/TCPConnection.h"
#include "support/ByteCompare.h"

namespace {

struct Seen {
    std::vector<std::string> frames;  // "F" first or "P" later, the opcode, the rest
    int tasks = 0;
    int connected = 0;
    bool deleted = false;
};

// A protocol that records each frame; opcode 0xFF is refused, 0xEE reads past the end.
struct Recorder : TCPConnection {
    Recorder(Seen& s, i4_socket* sock, uint32_t maxFrame = 64 * 1024)
        : TCPConnection(sock, 0xE3, maxFrame), seen(s) {}
    Recorder(Seen& s, uint32_t ip, int port) : TCPConnection(ip, port, 0xE3), seen(s) {}
    ~Recorder() override { seen.deleted = true; }

    bool handleFirstPacket(uint8_t op, i4_file* f) override { return record("F", op, f); }
    bool handlePacket(uint8_t op, i4_file* f) override { return record("P", op, f); }
    void onConnected() override { seen.connected++; }
    bool doTask() override {
        seen.tasks++;
        return TCPConnection::doTask();
    }
    bool record(const char* kind, uint8_t op, i4_file* f) {
        if (op == 0xEE) f->read_32();
        std::string rest((size_t)(f->size() - f->tell()), '\0');
        f->read(&rest[0], (int32_t)rest.size());
        seen.frames.push_back(std::string(kind) + std::to_string(op) + ":" + rest);
        return op != 0xFF;
    }
    using TCPConnection::connected;
    Seen& seen;
};

TCPPacket* packet(uint8_t op, const std::string& body) {
    TCPPacket* p = new TCPPacket((int32_t)body.size() + 1, 0xE3);
    p->file().write_8(op);
    p->file().write(body.data(), (int32_t)body.size());
    return p;
}

struct PoolFixture : ::testing::Test {
    PoolFixture() : pool(testProtocol(), &bw) {}
    ~PoolFixture() override {
        Connection::sendBudget = Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
    }
    Recorder* open(uint32_t maxFrame = 64 * 1024) {
        Recorder* r = new Recorder(seen, pair.take(), maxFrame);
        pool.add(r);
        pool.processPending();
        return r;
    }
    BandwidthSettings bw;
    STSocketPool pool;
    SockPair pair;
    Seen seen;
    CaptureUI ui;
};

}  // namespace

using TCPConnectionTest = PoolFixture;

TEST_F(TCPConnectionTest, TwoFramesAPassTheThirdWaits) {
    open();
    pair.peerWrite(frame(1, "a") + frame(2, "bb") + frame(3, "ccc"));
    EXPECT_TRUE(pool.run(10));
    EXPECT_EQ((std::vector<std::string>{"F1:a", "P2:bb"}), seen.frames);
    pool.run(10);
    EXPECT_EQ((std::vector<std::string>{"F1:a", "P2:bb", "P3:ccc"}), seen.frames);
    EXPECT_FALSE(seen.deleted);
}

TEST_F(TCPConnectionTest, AFrameThatIsAllThereIsTakenInOnePassWhateverItsSize) {
    // Its buffer grows as the bytes come, several reads for a large frame: they all belong
    // to one pass, or a data frame would cost a pass for every doubling.
    open(1 << 20);
    int room = 1 << 20;
    ASSERT_EQ(0, setsockopt(pair.peer, SOL_SOCKET, SO_SNDBUF, &room, sizeof room));
    std::string body(200000, 'x');
    pair.peerWrite(frame(7, body) + frame(8, "y"));
    pool.run(10);
    ASSERT_EQ(2u, seen.frames.size());
    EXPECT_BYTES_EQ("F7:" + body, seen.frames[0]);
    EXPECT_EQ("P8:y", seen.frames[1]);
}

TEST_F(TCPConnectionTest, DroppedConnectionsAreDeletedAtTheEndOfThePass) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> handled;
        std::string debug;
    };
    const Case cases[] = {
        {"a handler refuses the first frame", frame(0xFF, "no") + frame(2, "x"), {"F255:no"}, ""},
        {"wrong marker", frame(1, "x", 0xC5), {}, ""},
        {"empty frame", std::string("\xE3", 1) + le32(0), {}, ""},
        {"huge length", std::string("\xE3", 1) + le32(0xFFFFFFF0u), {}, ""},
        {"past the connection's cap", std::string("\xE3", 1) + le32(64 * 1024 + 1), {}, ""},
        {"a handler reads past the payload",
         frame(0xEE, "ab"),
         {},
         "Exception in TCPConnection::doTask \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SockPair p;
        Seen s;
        CaptureUI capture;
        pool.add(new Recorder(s, p.take()));
        pool.processPending();
        p.peerWrite(c.bytes);
        pool.run(10);
        EXPECT_EQ(c.handled, s.frames);
        EXPECT_TRUE(s.deleted);
        EXPECT_EQ(c.debug, capture.debugText);
        EXPECT_EQ(0, pool.connectionCount());
    }
}

TEST_F(TCPConnectionTest, ExceptionTextNamesTheAddress) {
    Recorder* r = new Recorder(seen, 0x04030201, 4662);
    r->setSocket(pair.take());
    pool.add(r);
    pool.processPending();
    EXPECT_EQ(0, seen.connected);  // not connected: attach reports nothing
    pair.peerWrite(frame(0xEE, ""));
    pool.run(10);
    EXPECT_TRUE(seen.deleted);
    EXPECT_EQ("Exception in TCPConnection::doTask 1.2.3.4\n", ui.debugText);
}

TEST_F(TCPConnectionTest, AttachReportsAnOutgoingConnectionAsOpen) {
    Recorder* r = new Recorder(seen, 0x0100007F, 4661);
    EXPECT_EQ("127.0.0.1", std::string(r->getName()));
    r->setSocket(pair.take());
    r->connected = true;
    pool.add(r);
    pool.processPending();
    EXPECT_EQ(1, seen.connected);
}

TEST_F(TCPConnectionTest, UnknownOpcodeByDefaultIsNotedAndKept) {
    TCPConnection* c = new TCPConnection(pair.take(), 0xE3);
    pool.add(c);
    pool.processPending();
    ui.setVerbose(true);
    pair.peerWrite(frame(0x77, "x") + frame(0x78, ""));
    pool.run(10);
    EXPECT_EQ("Unknown msg from TCPConnection: 119\nUnknown msg from TCPConnection: 120\n",
              ui.debugText);
    EXPECT_EQ(1, pool.activeCount());
}

TEST_F(TCPConnectionTest, PeerClosingDropsTheConnection) {
    open();
    pair.peerWrite(frame(1, "last"));
    pair.closePeer();
    pool.run(10);
    EXPECT_EQ((std::vector<std::string>{"F1:last"}), seen.frames);
    EXPECT_TRUE(seen.deleted);
}

TEST_F(TCPConnectionTest, CloseMarkerLetsEveryPacketBeforeItOutWhole) {
    Recorder* r = open();
    std::string expected;
    for (int i = 0; i < 3; i++) {
        std::string body(100, (char)('a' + i));
        r->send(packet((uint8_t)(10 + i), body));
        expected += frame((uint8_t)(10 + i), body);
    }
    r->closeAfterSend();
    r->send(packet(99, "never"));
    bw.setUploadLimit(1);  // 1 byte per ms: 50 bytes a pass
    std::string got;
    for (int pass = 0; pass < 40 && !seen.deleted; pass++) {
        pool.run(50);
        got += pair.peerReadAll();
    }
    EXPECT_TRUE(seen.deleted);
    EXPECT_BYTES_EQ(expected, got);
}

TEST_F(TCPConnectionTest, LimitBelowOneKilobyteStillSends) {
    Recorder* r = open();
    r->send(packet(1, std::string(40, 'z')));
    bw.setUploadLimit(0.5);
    std::string got;
    for (int pass = 0; pass < 20 && got.size() < 46; pass++) {
        pool.run(30);
        got += pair.peerReadAll();
    }
    EXPECT_EQ(frame(1, std::string(40, 'z')), got);
}

TEST_F(TCPConnectionTest, IdleConnectionAsksForNoWritePass) {
    Recorder* r = open();
    pool.run(10);
    EXPECT_EQ(0, seen.tasks);  // always writable, yet the wait found nothing to do
    r->send(packet(5, "hello"));
    pool.run(10);
    EXPECT_EQ(1, seen.tasks);
    EXPECT_EQ(frame(5, "hello"), pair.peerReadAll());
    pool.run(10);
    EXPECT_EQ(1, seen.tasks);  // nothing left to send: idle again
}

TEST_F(TCPConnectionTest, AnswerQueuedWhileHandlingGoesOutInTheSamePass) {
    struct Echo : Recorder {
        using Recorder::Recorder;
        bool handlePacket(uint8_t op, i4_file* f) override {
            send(packet(op, "re"));
            return Recorder::handlePacket(op, f);
        }
        bool handleFirstPacket(uint8_t op, i4_file* f) override { return handlePacket(op, f); }
    };
    pool.add(new Echo(seen, pair.take()));
    pool.processPending();
    pair.peerWrite(frame(7, ""));
    pool.run(10);
    EXPECT_EQ(frame(7, "re"), pair.peerReadAll());
}

TEST_F(TCPConnectionTest, CloseNowFromAnotherThreadEndsAnIdleConnection) {
    Recorder* r = open();
    r->send(packet(1, "queued"));
    std::thread other([r] { r->closeNow(); });
    other.join();
    pool.run(10);
    EXPECT_TRUE(seen.deleted);
    EXPECT_EQ("", pair.peerReadAll());  // dropping sends nothing more
}

// A connect that fails leaves no socket behind: a second attempt connects anew instead of
// taking the dead socket for a connected one.
TEST_F(TCPConnectionTest, AFailedConnectForgetsItsSocket) {
    theProtocolHolder.setProxy(nullptr);
    int port = nettest::free_port();
    Recorder r(seen, 0x0100007Fu, port);
    EXPECT_FALSE(r.openSocket(2000));
    EXPECT_EQ(nullptr, r.getSocket());
    EXPECT_FALSE(r.isConnected());

    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in sa = nettest::loopback_sa(port);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
    ASSERT_EQ(0, listen(listener, 1));
    EXPECT_TRUE(r.openSocket(2000));
    EXPECT_NE(nullptr, r.getSocket());
    EXPECT_TRUE(r.isConnected());
    close(listener);
}
