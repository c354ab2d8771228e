#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

#include "NetTestSupport.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/string/i4_err.h"
#include "net/IpPort.h"
#include "net/SocketPool.h"
#include "net/UDPAnnex.h"
#include "net/UDPPacket.h"
#include "support/Waiting.h"

namespace {

const uint32_t LOOPBACK = 0x0100007Fu;

struct Seen {
    std::vector<std::string> datagrams;  // opcode, ':', the rest
    std::vector<int> senderPorts;
    int failures = 0;
};

// Records every datagram; opcode 0xEE reads four bytes more than a short datagram holds.
struct Recorder : UDPAnnex {
    explicit Recorder(Seen& s) : UDPAnnex(0xE3), seen(s) {}
    void handleDatagram(i4_file& f, const i4_address* from) override {
        seen.senderPorts.push_back(from ? from->get_port() : -1);
        uint8_t op = f.read_8();
        if (op == 0xEE) {
            try {
                f.read_32();
            } catch (i4_err&) {
                seen.failures++;
                throw;
            }
        }
        std::string rest((size_t)(f.size() - f.tell()), '\0');
        if (!rest.empty()) f.read(&rest[0], (int32_t)rest.size());
        seen.datagrams.push_back(std::to_string(op) + ":" + rest);
    }
    Seen& seen;
};

UDPPacket* datagram(uint8_t op, const std::string& body, int port) {
    UDPPacket* p = new UDPPacket((int32_t)body.size() + 1, LOOPBACK, port);
    p->file().write_8(op);
    p->file().write(body.data(), (int32_t)body.size());
    return p;
}

struct UDPAnnexTest : ::testing::Test {
    UDPAnnexTest() : pool(testProtocol()) {
        theProtocolHolder.setProxy(nullptr);
        annex = new Recorder(seen);
        pool.add(annex);
        pool.processPending();
    }
    // Makes the annex send once, so that its port is known to the peer.
    void introduce() {
        annex->queuePacket(datagram(1, "hello", peer.port));
        pool.run(10);
        ASSERT_EQ(std::string("\xE3\x01hello"), peer.receive());
    }
    // Runs passes until the annex has handled n datagrams.
    void runUntilHandled(size_t n) {
        passUntil([&] { return seen.datagrams.size() >= n; }, [&] { pool.run(10); });
    }
    bool descriptorFailed(int ms) {
        i4_tcpip_sock* s = dynamic_cast<i4_tcpip_sock*>(annex->getSocket());
        pollfd p{s->descriptor(), 0, 0};
        return poll(&p, 1, ms) == 1 && (p.revents & POLLERR);
    }
    CaptureUI ui;
    SocketPool pool;
    Seen seen;
    Recorder* annex;
    UdpPeer peer;
};

}  // namespace

TEST_F(UDPAnnexTest, PacketFrameIsMarkerThenPayload) {
    UDPPacket p(5, LOOPBACK, 4665);
    p.file().write_8(0x96);
    p.file().write_32(0x01020304);
    p.file().write_8(0x77);  // past the announced length: cut
    EXPECT_EQ(6, p.getSize());
    EXPECT_EQ(std::string("\xE3\x96\x04\x03\x02\x01", 6), std::string((const char*)p.bytes(), 6));
    ASSERT_NE(nullptr, p.destination());
    EXPECT_EQ(4665, p.destination()->get_port());
    EXPECT_EQ(LOOPBACK, addressToIP(p.destination()));
}

TEST_F(UDPAnnexTest, PacketWithoutDestinationSendsNothing) {
    UDPPacket p(1, (const i4_address*)nullptr);
    p.file().write_8(1);
    int32_t n = 99;
    EXPECT_EQ(PACKET_ERROR, p.writeTo(annex->getSocket(), &n));
    EXPECT_EQ(0, n);
}

TEST_F(UDPAnnexTest, DatagramWithoutMarkerIsCountedAndDropped) {
    introduce();
    peer.sendToAnnex(std::string("\x00\x01\x02", 3));
    peer.sendToAnnex("\xE3\x07ok");
    runUntilHandled(1);
    EXPECT_EQ((std::vector<std::string>{"7:ok"}), seen.datagrams);
    EXPECT_EQ(3 + 4, annex->periodReceived());
    EXPECT_EQ((std::vector<int>{peer.port}), seen.senderPorts);
}

TEST_F(UDPAnnexTest, TenQueuedDatagramsTakeTenPasses) {
    for (int i = 0; i < 10; i++) annex->queuePacket(datagram((uint8_t)i, "x", peer.port));
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(10 - i, annex->queuedPackets());
        EXPECT_TRUE(pool.run(10));
        EXPECT_EQ(std::string("\xE3") + (char)i + "x", peer.receive()) << i;
        EXPECT_EQ("", peer.receive(0)) << "more than one datagram in pass " << i;
    }
    EXPECT_EQ(0, annex->queuedPackets());
    EXPECT_EQ(30, annex->periodSent());
}

TEST_F(UDPAnnexTest, ShortDatagramAfterLongOneShowsNoStaleBytes) {
    introduce();
    peer.sendToAnnex("\xE3\x05" + std::string(100, 'x'));
    runUntilHandled(1);
    peer.sendToAnnex("\xE3\x06y");
    runUntilHandled(2);
    ASSERT_EQ(2u, seen.datagrams.size());
    EXPECT_EQ("6:y", seen.datagrams[1]);

    // Reading past the end of a short datagram fails; the annex goes on.
    peer.sendToAnnex("\xE3\xEE\x01");
    peer.sendToAnnex("\xE3\x08z");
    runUntilHandled(3);
    EXPECT_EQ(1, seen.failures);
    ASSERT_EQ(3u, seen.datagrams.size());
    EXPECT_EQ("8:z", seen.datagrams[2]);
    EXPECT_EQ(1, pool.activeCount());
}

TEST_F(UDPAnnexTest, SendToClosedPortReportsTheErrorOnceThenWorks) {
    introduce();
    int closedPort;
    {
        UdpPeer gone;
        closedPort = gone.port;
    }
    annex->queuePacket(datagram(1, "lost", closedPort));
    EXPECT_TRUE(pool.run(10));
    ASSERT_TRUE(descriptorFailed(2000)) << "no ICMP error came back";

    annex->queuePacket(datagram(2, "next", peer.port));
    peer.sendToAnnex("\xE3\x09in");
    EXPECT_FALSE(pool.run(10));
    EXPECT_EQ(1, annex->queuedPackets());
    EXPECT_TRUE(seen.datagrams.empty());
    EXPECT_EQ(1, pool.activeCount());

    EXPECT_TRUE(pool.run(10));
    EXPECT_EQ(std::string("\xE3\x02next"), peer.receive());
    EXPECT_EQ((std::vector<std::string>{"9:in"}), seen.datagrams);
}

TEST_F(UDPAnnexTest, ReceivingStopsWhenTheBudgetIsUsed) {
    introduce();
    peer.sendToAnnex(
        "\xE3\x01"
        "a");
    peer.sendToAnnex(
        "\xE3\x02"
        "b");
    pollfd p{dynamic_cast<i4_tcpip_sock*>(annex->getSocket())->descriptor(), POLLIN, 0};
    ASSERT_EQ(1, poll(&p, 1, 2000));
    ASSERT_GT(pool.socketSet()->wait(1000), 0);
    BudgetScope budget(1, Connection::UNLIMITED_BUDGET);
    EXPECT_TRUE(annex->doTask());
    EXPECT_EQ((std::vector<std::string>{"1:a"}), seen.datagrams);
    EXPECT_EQ(0, Connection::receiveBudget);
}

TEST_F(UDPAnnexTest, DescribeShowsTheAverages) {
    i4_string text;
    EXPECT_STREQ("UDPAnnex (0.00,0.00)", annex->describe(text));
}
