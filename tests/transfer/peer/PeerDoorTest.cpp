#include <gtest/gtest.h>

#include "../PeerTestSupport.h"

using namespace peertest;

TEST(PeerDoor, AcceptLimitIsTheSmallerOfMaxConPlusTenAndTwiceMaxCon) {
    struct Case {
        int maxCon, limit;
    };
    const Case cases[] = {{45, 55}, {5, 10}, {10, 20}, {11, 21}, {0, 0}, {-5, -10}};
    for (const Case& k : cases) EXPECT_EQ(k.limit, PeerDoor::acceptLimit(k.maxCon)) << k.maxCon;
}

TEST(PeerDoor, IsThePeerDoorWhileItLives) {
    PeerDoor* door = new PeerDoor(0);
    EXPECT_EQ(door, thePeerDoor);
    delete door;
    EXPECT_EQ(nullptr, thePeerDoor);
}

// "maxCon" 5: the door and nine peers make ten connections; the door takes no more.
TEST(PeerDoor, StopsAcceptingAtExactlyTenConnectionsForMaxConFive) {
    Harness h;
    Sides sides;
    SidesScope scope(sides);
    theCoreOptions.maxCon = 5;
    std::vector<Client*> kept;
    for (int i = 0; i < 9; i++) kept.push_back(&h.connect());
    EXPECT_EQ(10, h.pool.connectionCount());
    for (int i = 0; i < 3; i++) {
        Client& refused = h.connect(false);
        EXPECT_TRUE(h.closes(refused)) << "client " << 10 + i;
    }
    EXPECT_EQ(10, h.pool.connectionCount());
    for (Client* c : kept) {
        c->drain();
        EXPECT_FALSE(c->eof);
    }
    // Every accepted one speaks the protocol.
    h.hello(*kept[8], "ninth", 0x90);
    EXPECT_NE(nullptr, h.listed(0x90));
}
