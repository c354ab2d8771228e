#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>

#include "NetTestSupport.h"
#include "net/TCPPacket.h"

namespace {

std::string bytesOf(const Packet& p) {
    return std::string(reinterpret_cast<const char*>(p.bytes()), (size_t)p.getSize());
}

}  // namespace

TEST(TCPPacket, HeaderLayout) {
    struct Case {
        int32_t length;
        uint8_t marker;
        bool close;
        std::string header;
    };
    const Case cases[] = {
        {1, 0xE3, false, std::string("\xE3\x01\x00\x00\x00", 5)},
        {0x0102, 0xE3, false, std::string("\xE3\x02\x01\x00\x00", 5)},
        {0x01020304, 0xC5, false, std::string("\xC5\x04\x03\x02\x01", 5)},
        {1, 0x00, true, std::string("\x00\x01\x00\x00\x00", 5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        TCPPacket p(c.length, c.marker, c.close);
        EXPECT_EQ(c.length + 5, p.getSize());
        EXPECT_EQ(5, p.file().tell());
        EXPECT_EQ(c.close, p.isClose());
        EXPECT_EQ(c.header, std::string(reinterpret_cast<const char*>(p.bytes()), 5));
    }
    TCPPacket* marker = TCPPacket::closeMarker();
    EXPECT_TRUE(marker->isClose());
    EXPECT_EQ(6, marker->getSize());
    delete marker;
}

TEST(TCPPacket, UnwrittenPayloadIsZeroNotHeapLeftovers) {
    TCPPacket p(64, 0xE3);
    p.file().write_8(7);
    std::string body = bytesOf(p).substr(6);
    EXPECT_EQ(std::string(63, '\0'), body);
}

TEST(TCPPacket, FixLengthTakesWhatWasWritten) {
    struct Case {
        int32_t estimate;
        int32_t written;
    };
    // Shorter than the estimate, exactly it, and past it (the buffer grows).
    const Case cases[] = {{100, 4}, {4, 4}, {2, 3000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        TCPPacket p(c.estimate, 0xE3);
        std::string payload;
        for (int i = 0; i < c.written; i++) payload += (char)(i * 7);
        p.file().write(payload.data(), c.written);
        p.fixLength();
        ASSERT_EQ(c.written + 5, p.getSize());
        EXPECT_EQ(std::string("\xE3", 1) + le32((uint32_t)c.written) + payload, bytesOf(p));
    }
}

TEST(TCPPacket, CloneCopiesEverythingButProgressAndClose) {
    BudgetScope budgets(Connection::UNLIMITED_BUDGET, 3);
    SockPair pair;
    TCPPacket p(4, 0xE3, true);
    p.file().write_32(0xAABBCCDD);
    int32_t n = 0;
    EXPECT_EQ(PACKET_NOT_DONE, p.writeTo(pair.ours, &n));
    EXPECT_EQ(3, p.bytesSent());
    Packet* copy = p.clone();
    TCPPacket* c = static_cast<TCPPacket*>(copy);
    EXPECT_EQ(bytesOf(p), bytesOf(*c));
    EXPECT_EQ(0, c->bytesSent());
    EXPECT_FALSE(c->isClose());
    delete copy;
}

TEST(TCPPacket, WritesWithinTheSendBudget) {
    struct Step {
        int32_t budget;
        int expected;
        int32_t count;
        int32_t budgetAfter;
    };
    // A 12-byte packet: nothing with no budget, part with a small one, the rest with plenty.
    const Step steps[] = {
        {0, PACKET_NOT_DONE, 0, 0},
        {5, PACKET_NOT_DONE, 5, 0},
        {1, PACKET_NOT_DONE, 1, 0},
        {100, PACKET_COMPLETE, 6, 94},
    };
    SockPair pair;
    TCPPacket p(7, 0xE3);
    p.file().write("abcdefg", 7);
    std::string sent;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.budget);
        BudgetScope budgets(Connection::UNLIMITED_BUDGET, s.budget);
        int32_t n = -1;
        EXPECT_EQ(s.expected, p.writeTo(pair.ours, &n));
        EXPECT_EQ(s.count, n);
        EXPECT_EQ(s.budgetAfter, Connection::sendBudget);
        sent += pair.peerReadAll();
    }
    EXPECT_EQ(std::string("\xE3", 1) + le32(7) + "abcdefg", sent);
}

TEST(TCPPacket, ClosedPeerIsAnError) {
    SockPair pair;
    pair.closePeer();
    TCPPacket p(3, 0xE3);
    int32_t n = -1;
    EXPECT_EQ(PACKET_ERROR, p.writeTo(pair.ours, &n));
    EXPECT_EQ(0, n);
}

TEST(TCPPacket, GoesOutAsWrittenWithZerosWhereNothingWas) {
    struct Case {
        const char* what;
        int32_t length;
        std::function<void(TCPPacket&)> write;
        std::string payload;
    };
    const Case cases[] = {
        {"every byte", 4, [](TCPPacket& p) { p.file().write("wxyz", 4); }, "wxyz"},
        {"the head only", 5, [](TCPPacket& p) { p.file().write("ab", 2); },
         std::string("ab\0\0\0", 5)},
        {"around a skipped hole", 6,
         [](TCPPacket& p) {
             p.file().write("a", 1);
             p.file().seek(5 + 4);
             p.file().write("z", 1);
         },
         std::string("a\0\0\0z\0", 6)},
        {"patched in place after writing", 3,
         [](TCPPacket& p) {
             p.file().write("abc", 3);
             static_cast<uint8_t*>(p.file().memory_at(6))[0] = 'B';
         },
         "aBc"},
        {"filled straight into the buffer", 4,
         [](TCPPacket& p) {
             p.file().write("a", 1);
             memcpy(p.file().reserve(3), "bcd", 3);
             EXPECT_EQ(nullptr, p.file().reserve(1)) << "no room is made past the frame";
         },
         "abcd"},
        {"a count written last at the front", 4,
         [](TCPPacket& p) {
             p.file().seek(5 + 2);
             p.file().write("cd", 2);
             p.file().seek(5);
             p.file().write("ab", 2);
         },
         "abcd"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCPPacket p(c.length, 0xE3);
        c.write(p);
        std::string expected = std::string("\xE3", 1) + le32((uint32_t)c.length) + c.payload;
        Packet* copy = p.clone();
        SockPair pair;
        BudgetScope budgets(Connection::UNLIMITED_BUDGET, Connection::UNLIMITED_BUDGET);
        int32_t n = 0;
        EXPECT_EQ(PACKET_COMPLETE, p.writeTo(pair.ours, &n));
        EXPECT_EQ(expected, pair.peerReadAll());
        EXPECT_EQ(expected, bytesOf(p));
        EXPECT_EQ(expected, bytesOf(*copy));
        delete copy;
    }
}
