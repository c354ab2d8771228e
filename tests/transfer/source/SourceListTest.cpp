#include <gtest/gtest.h>

#include "../PeerTestSupport.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "transfer/source/SourceList.h"
#include "transfer/source/SourceListEntry.h"

using namespace peertest;

namespace {

// The list on a clock the test moves.
struct SourceListTest : ::testing::Test {
    // A peer without a socket whose frames stay queued, to be counted.
    Peer* peer(uint32_t ip, uint16_t port, uint8_t hashSeed) {
        Peer* p = new Peer(ip, port, true);
        std::string h = hashOf(hashSeed);
        memcpy(p->getUser()->hash, h.data(), 16);
        peers.emplace_back(p);
        return p;
    }
    i4_test_clock clock;
    SourceList list;
    std::vector<std::unique_ptr<Peer>> peers;
};

}  // namespace

TEST_F(SourceListTest, AnEntryLastsJustUnderTwentyMinutes) {
    Peer* p = peer(0x0201A8C0, 4662, 1);
    list.askForUpload(p, raw(hashOf(0xA0)));
    EXPECT_EQ(1, p->queuedPackets());
    clock.step_ms(1199999);
    EXPECT_NE(nullptr, list.find(p->getUser()));
    clock.step_ms(1);
    EXPECT_EQ(nullptr, list.find(p->getUser()));
    EXPECT_EQ(0, list.count());
    // Gone, so the peer is asked again.
    list.askForUpload(p, raw(hashOf(0xA0)));
    EXPECT_EQ(2, p->queuedPackets());
}

TEST_F(SourceListTest, APeerIsAskedOnceWhateverTheFile) {
    Peer* p = peer(0x0201A8C0, 4662, 1);
    list.askForUpload(p, raw(hashOf(0xA0)));
    clock.step_ms(600000);
    list.askForUpload(p, raw(hashOf(0xB0)));
    list.askForUpload(nullptr, raw(hashOf(0xB0)));
    EXPECT_EQ(1, p->queuedPackets());
    EXPECT_EQ(1, list.count());
    // The entry keeps its first time: the second ask did not renew it.
    clock.step_ms(600000);
    EXPECT_EQ(nullptr, list.find(p->getUser()));
}

TEST_F(SourceListTest, QueueRankOnlyForAnAskedUser) {
    Peer* asked = peer(0x0201A8C0, 4662, 1);
    Peer* other = peer(0x0301A8C0, 4662, 2);
    list.askForUpload(asked, raw(hashOf(0xA0)));
    list.setValue(other->getUser(), 7);
    list.setValue(asked->getUser(), 3);
    EXPECT_EQ(nullptr, list.find(other->getUser()));
    ASSERT_NE(nullptr, list.find(asked->getUser()));
    EXPECT_EQ(3, list.find(asked->getUser())->value);
    EXPECT_EQ(1, list.count());
}

TEST_F(SourceListTest, RemovalsTakeTheirEntryOnly) {
    struct Case {
        const char* what;
        std::function<void(SourceList&, Peer*)> remove;
    };
    const Case cases[] = {
        {"by connection (user hash)", [](SourceList& l, Peer* p) { l.removeConnection(p); }},
        {"by user", [](SourceList& l, Peer* p) { l.remove(p->getUser()); }},
        {"by address and port",
         [](SourceList& l, Peer* p) { l.removeIpPort(p->getUser()->ip, p->getUser()->port); }},
        {"by server and id",
         [](SourceList& l, Peer* p) {
             l.removeIpServer(p->getUser()->serverIp, p->getUser()->ip);
         }},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        list.clear();
        Peer* keep = peer(0x0201A8C0, 4662, 1);
        Peer* gone = peer(0x0301A8C0, 4663, 2);
        gone->getUser()->serverIp = 0x0909090A;
        list.askForUpload(keep, raw(hashOf(0xA0)));
        list.askForUpload(gone, raw(hashOf(0xA0)));
        k.remove(list, gone);
        EXPECT_EQ(1, list.count());
        EXPECT_NE(nullptr, list.find(keep->getUser()));
        EXPECT_EQ(nullptr, list.find(gone->getUser()));
    }
    list.removeConnection(nullptr);
    list.remove(nullptr);
    EXPECT_EQ(1, list.count());
}

// Two downloads with the same peer as a source: on the wire the peer sees one request.
TEST(SourceListWire, TwoFilesFromOnePeerMakeOneUploadRequest) {
    Harness h;
    Sides sides;
    SidesScope scope(sides);
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, p);
    theSourceList.clear();
    theSourceList.askForUpload(p, raw(hashOf(0xA0)));
    theSourceList.askForUpload(p, raw(hashOf(0xB0)));
    p->sendPing();
    std::string body;
    EXPECT_EQ(Peer::OP_UPLOAD_REQUEST, h.nextOpcode(c, &body));
    EXPECT_EQ(hashOf(0xA0), body);
    EXPECT_EQ(Peer::OP_PING, h.nextOpcode(c));
    theSourceList.clear();
}
