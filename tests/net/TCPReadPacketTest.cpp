#include <algorithm>
#include <gtest/gtest.h>
#include <string>

#include "NetTestSupport.h"
#include "net/TCPReadPacket.h"
#include "support/ByteCompare.h"

namespace {

std::string payloadOf(TCPReadPacket& p) {
    return std::string(reinterpret_cast<const char*>(p.bytes()), (size_t)p.getSize());
}

std::string pattern(int n) {
    std::string s;
    for (int i = 0; i < n; i++) s += (char)(i * 31 + 5);
    return s;
}

}  // namespace

TEST(TCPReadPacket, FrameFedOneByteAtATimeIsRebuiltExactly) {
    SockPair pair;
    TCPReadPacket p(0xE3, 4096);
    std::string payload = pattern(300);
    std::string bytes = frame(0x42, payload);
    for (size_t i = 0; i < bytes.size(); i++) {
        SCOPED_TRACE(i);
        int32_t n = -1;
        // Nothing there yet: nothing moves.
        ASSERT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
        ASSERT_EQ(0, n);
        pair.peerWrite(bytes.substr(i, 1));
        int expected = i + 1 == bytes.size() ? PACKET_COMPLETE : PACKET_NOT_DONE;
        ASSERT_EQ(expected, p.readFrom(pair.ours, &n));
        ASSERT_EQ(1, n);
    }
    EXPECT_EQ(std::string(1, 0x42) + payload, payloadOf(p));
    EXPECT_EQ(0, p.file().tell());
    EXPECT_EQ(0x42, p.file().read_8());
}

TEST(TCPReadPacket, WholeFrameInOneStepThenTheNext) {
    SockPair pair;
    TCPReadPacket p(0xE3, 4096);
    pair.peerWrite(frame(1, "first") + frame(2, "second!"));
    int32_t n = 0;
    ASSERT_EQ(PACKET_COMPLETE, p.readFrom(pair.ours, &n));
    EXPECT_EQ(5 + 6, n);
    EXPECT_EQ(std::string("\x01"
                          "first"),
              payloadOf(p));
    p.reset();
    EXPECT_EQ(0, p.getSize());
    EXPECT_EQ(nullptr, p.file().get_buffer());
    ASSERT_EQ(PACKET_COMPLETE, p.readFrom(pair.ours, &n));
    EXPECT_EQ(5 + 8, n);
    EXPECT_EQ(std::string("\x02"
                          "second!"),
              payloadOf(p));
}

TEST(TCPReadPacket, NoReceiveBudgetLetsOnlyTheHeaderIn) {
    SockPair pair;
    TCPReadPacket p(0xE3, 4096);
    pair.peerWrite(frame(9, "payload"));
    int32_t n = -1;
    {
        BudgetScope budgets(0, Connection::UNLIMITED_BUDGET);
        EXPECT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
        EXPECT_EQ(5, n);
        EXPECT_TRUE(p.headerComplete());
        EXPECT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
        EXPECT_EQ(0, n);
        EXPECT_EQ(0, Connection::receiveBudget);
    }
    {
        BudgetScope budgets(3, Connection::UNLIMITED_BUDGET);
        EXPECT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
        EXPECT_EQ(3, n);
        EXPECT_EQ(0, Connection::receiveBudget);
    }
    {
        BudgetScope budgets(100, Connection::UNLIMITED_BUDGET);
        EXPECT_EQ(PACKET_COMPLETE, p.readFrom(pair.ours, &n));
        EXPECT_EQ(5, n);
        EXPECT_EQ(95, Connection::receiveBudget);
    }
    EXPECT_EQ(std::string("\x09"
                          "payload"),
              payloadOf(p));
}

TEST(TCPReadPacket, BadHeadersFailBeforeAnythingIsAllocated) {
    const uint32_t cap = 1000;
    struct Case {
        const char* name;
        std::string bytes;
        int expected;
    };
    const Case cases[] = {
        {"wrong marker before a valid frame", std::string("\xC5", 1) + le32(2) + "ab",
         PACKET_ERROR},
        {"empty frame", std::string("\xE3", 1) + le32(0), PACKET_ERROR},
        {"huge length", std::string("\xE3", 1) + le32(0xFFFFFFF0u), PACKET_ERROR},
        {"one past the cap", std::string("\xE3", 1) + le32(cap + 1), PACKET_ERROR},
        {"top bit set", std::string("\xE3", 1) + le32(0x80000001u), PACKET_ERROR},
        {"exactly the cap", std::string("\xE3", 1) + le32(cap), PACKET_NOT_DONE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SockPair pair;
        TCPReadPacket p(0xE3, cap);
        pair.peerWrite(c.bytes);
        int32_t n = -1;
        EXPECT_EQ(c.expected, p.readFrom(pair.ours, &n));
        if (c.expected == PACKET_ERROR) {
            EXPECT_EQ(nullptr, p.file().get_buffer());
            EXPECT_EQ(0, p.getSize());
        } else {
            EXPECT_EQ((int32_t)cap, p.getSize());
        }
    }
}

TEST(TCPReadPacket, ClosedPeerIsAnErrorMidHeaderAndMidPayload) {
    const std::string partial[] = {std::string("\xE3\x05", 2), frame(1, "abcdef").substr(0, 8)};
    for (const std::string& bytes : partial) {
        SCOPED_TRACE(bytes.size());
        SockPair pair;
        TCPReadPacket p(0xE3, 4096);
        pair.peerWrite(bytes);
        int32_t n = -1;
        EXPECT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
        EXPECT_EQ((int32_t)bytes.size(), n);
        pair.closePeer();
        EXPECT_EQ(PACKET_ERROR, p.readFrom(pair.ours, &n));
    }
}

// A header announcing 4 MiB costs nothing until bytes come, and then no more than twice what
// came: a peer cannot make the client hold memory it never sent.
TEST(TCPReadPacket, TheBufferGrowsWithWhatArrivesNotWithWhatIsAnnounced) {
    SockPair pair;
    TCPReadPacket p(0xE3, 8u << 20);
    const int32_t announced = 4 << 20;
    pair.peerWrite(std::string(1, (char)0xE3) + le32((uint32_t)announced));
    int32_t n = 0;
    ASSERT_EQ(PACKET_NOT_DONE, p.readFrom(pair.ours, &n));
    EXPECT_TRUE(p.headerComplete());
    EXPECT_EQ(0, p.capacity());

    // Feeds bytes in pieces the socket pair can hold, reading each before the next.
    int64_t sent = 0;
    std::string all;
    int last = PACKET_NOT_DONE;
    auto feed = [&](int32_t count) {
        std::string bytes = pattern(count);
        all += bytes;
        for (size_t at = 0; at < bytes.size(); at += 32768) {
            pair.peerWrite(bytes.substr(at, 32768));
            sent += (int64_t)std::min<size_t>(32768, bytes.size() - at);
            do last = p.readFrom(pair.ours, &n);
            while (n > 0 && last == PACKET_NOT_DONE);
        }
    };
    for (int piece : {10, 1000, 5000, 20000, 100000, 300000}) {
        feed(piece);
        ASSERT_EQ(PACKET_NOT_DONE, last);
        EXPECT_LE(p.capacity(), std::max<int64_t>(TCPReadPacket::FIRST_ROOM, 2 * sent)) << sent;
        EXPECT_GE(p.capacity(), sent);
    }
    // The rest completes the frame exactly.
    feed(announced - (int32_t)sent);
    ASSERT_EQ(PACKET_COMPLETE, last);
    EXPECT_EQ(announced, p.getSize());
    EXPECT_EQ(announced, p.capacity());
    EXPECT_EQ(announced, p.file().size());
    EXPECT_BYTES_EQ(all, payloadOf(p));
}
