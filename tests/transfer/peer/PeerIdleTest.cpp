#include <gtest/gtest.h>

#include "../PeerTestSupport.h"

using namespace peertest;

namespace {

// The pool's passes hand the peers the milliseconds the test says: the idle clock runs on
// them alone.
struct PeerIdleTest : ::testing::Test {
    // True when the connection is still open after passes that add no time.
    bool open(Client& c) {
        h.pump(2, 0);
        c.drain();
        return !c.eof;
    }
    // Open after exactly ms of silence, closed one millisecond later.
    bool closesAfter(Client& c, int64_t ms) {
        h.pump(1, (int)ms);
        if (!open(c)) return false;
        h.pump(1, 1);
        // Passes that add no time: the close must be that millisecond's.
        return passUntil(
            [&] {
                c.drain();
                return c.eof;
            },
            [&] { h.pump(1, 0); });
    }
    Harness h;
    Sides sides;
    SidesScope scope{sides};
};

}  // namespace

TEST_F(PeerIdleTest, ASilentSocketClosesOnceMoreThan60SecondsPassed) {
    Client& c = h.connect();
    EXPECT_TRUE(closesAfter(c, 60000));
}

TEST_F(PeerIdleTest, AfterTheHelloMoreThan120SecondsOfSilenceClose) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, p);
    EXPECT_TRUE(closesAfter(c, Peer::IDLE_LIMIT_MS - p->getIdleMs()));
    EXPECT_EQ(nullptr, h.listed(0x10));
}

TEST_F(PeerIdleTest, EveryReceivedPacketRestartsTheClock) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, p);
    for (int i = 0; i < 3; i++) {
        h.pump(1, 100000);
        c.sendFrame(Peer::OP_PING);
        EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(c));
        EXPECT_LT(p->getIdleMs(), 1000);
    }
    EXPECT_TRUE(open(c));
}

TEST_F(PeerIdleTest, KeepHoldsASilentConnection) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, p);
    p->setKeep(true);
    EXPECT_EQ(0, p->getIdleMs());
    h.pump(3, 10000000);
    EXPECT_TRUE(open(c));
    EXPECT_EQ(0, p->getIdleMs());
    p->setKeep(false);
    EXPECT_TRUE(closesAfter(c, Peer::IDLE_LIMIT_MS));
}

TEST_F(PeerIdleTest, SendingAPingOrAChatRestartsTheOwnClock) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, p);
    h.pump(1, 100000);
    p->sendPing();
    EXPECT_EQ(1, p->getIdleMs());
    h.pump(1, 100000);
    p->sendChat("still there?");
    EXPECT_EQ(1, p->getIdleMs());
    h.pump(1, 100000);
    EXPECT_TRUE(open(c));
}
