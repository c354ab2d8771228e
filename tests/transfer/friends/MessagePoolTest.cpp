#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "../PeerTestSupport.h"
#include "../TransferTestSupport.h"
#include "core/Message.h"
#include "support/Waiting.h"
#include "transfer/friends/FriendList.h"
#include "transfer/friends/MessagePool.h"
#include "transfer/share/TransferHandler.h"

using namespace peertest;

namespace {

std::string str(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}

// The chat pool in front of real peers at a loopback door, as the peers' chat side and a
// listener of the connection pool; outgoing connects are only recorded.
struct MessagePoolTest : ::testing::Test {
    MessagePoolTest() {
        initSpecialTags();
        savedChat = theClientPool.services().chat;
        theClientPool.services().chat = &pool.peerAnswer;
        theClientPool.addListener(&pool);
        savedUI = theTransferUI;
        theTransferUI = &events;
        savedPmAllow = theTransferOptions.pmAllow;
        theCoreOptions.setClientId(0x0200007F);
        theCoreOptions.maxCon = 45;
        theFriendList.clear();
    }
    ~MessagePoolTest() override {
        theClientPool.removeListener(&pool);
        pool.clear();
        theFriendList.clear();
        theClientPool.services().chat = savedChat;
        theTransferUI = savedUI;
        theTransferOptions.pmAllow = savedPmAllow;
    }
    // Sends a chat message and answers what came back before the ping's answer: 83 for a
    // refusal, 0 for nothing.
    uint8_t chat(Client& c, const std::string& text) {
        c.sendFrame(Peer::OP_CHAT, str(text));
        c.sendFrame(Peer::OP_PING);
        uint8_t op = h.nextOpcode(c);
        if (op == Peer::OP_PING_ANSWER) return 0;
        EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(c));
        return op;
    }

    Harness h;
    MessagePool pool;
    RecordingTransferUI events;
    RecordedConnects connects;
    PeerChat* savedChat;
    TransferUI* savedUI;
    int savedPmAllow;
};

TEST_F(MessagePoolTest, PmAllowDecidesWhoseMessagesAreTaken) {
    struct Case {
        int pmAllow;
        bool isFriend;
        bool hasSession;
        bool taken;
    } cases[] = {
        {0, false, false, true}, {1, true, false, true}, {1, false, false, false},
        {2, true, false, false}, {2, false, true, true}, {1, false, true, true},
        {7, false, false, true},
    };
    uint8_t seed = 0x10;
    for (Case& c : cases) {
        std::string what = "pmAllow " + std::to_string(c.pmAllow) + (c.isFriend ? " friend" : "") +
                           (c.hasSession ? " session" : "");
        theTransferOptions.pmAllow = c.pmAllow;
        Client& client = h.connect();
        Peer* p = h.greet(client, "sender", seed);
        ASSERT_NE(nullptr, p) << what;
        if (c.isFriend) theFriendList.addFriend(p->getUser());
        if (c.hasSession) pool.getSession(p->getUser());
        events.clear();
        EXPECT_EQ(c.taken ? 0 : Peer::OP_NO_CHAT, chat(client, "hello " + what)) << what;
        EXPECT_EQ(c.taken, events.saw("chat sender: hello " + what)) << what;
        close(client.fd);
        client.fd = -1;
        ASSERT_TRUE(passUntil([&] { return !h.listed(seed); }, [&] { h.pump(1); })) << what;
        theFriendList.clear();
        seed += 0x10;
    }
}

TEST_F(MessagePoolTest, MessagesOfOnePeerShareASessionThatEndsWithTheConnection) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x20);
    ASSERT_NE(nullptr, p);
    int refsBefore = p->refCount();
    EXPECT_EQ(0, chat(c, "one"));
    EXPECT_EQ(0, chat(c, "two"));
    EXPECT_EQ(1, pool.count());
    MessageSession* s = pool.findSession(p->getUser());
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(MessageSession::CONNECTED, s->getState());
    EXPECT_EQ(p, s->getConnection());
    EXPECT_EQ(refsBefore + 1, p->refCount()) << "one reference for the session";
    EXPECT_TRUE(events.saw("chat alice: one"));
    EXPECT_TRUE(events.saw("chat alice: two"));

    EXPECT_TRUE(s->send("back"));
    std::string body;
    EXPECT_EQ(Peer::OP_CHAT, h.nextOpcode(c, &body));
    EXPECT_EQ(str("back"), body);

    // The partner is gone: its session is reported closed and freed.
    close(c.fd);
    c.fd = -1;
    passUntil([&] { return pool.count() == 0; }, [&] { h.pump(1); });
    EXPECT_EQ(0, pool.count());
    EXPECT_TRUE(events.saw("session alice 4"));
}

TEST_F(MessagePoolTest, ARefusalEndsEverySessionWithThatPeer) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "bob", 0x30);
    ASSERT_NE(nullptr, p);
    int refsBefore = p->refCount();
    EXPECT_EQ(0, chat(c, "hi"));
    c.sendFrame(Peer::OP_NO_CHAT);
    c.sendFrame(Peer::OP_PING);
    EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(c));
    EXPECT_TRUE(events.saw("chat bob: Is not accepting calls."));
    EXPECT_TRUE(events.saw("session bob 3"));
    EXPECT_EQ(0, pool.count());
    EXPECT_EQ(refsBefore, p->refCount()) << "the freed session gave its reference back";
}

TEST_F(MessagePoolTest, AWaitingSessionTakesItsPartnersFirstConnectionOnly) {
    UserMeta carol = user(LOOPBACK_IP, 4000, 0x40, "carol");
    MessageSession* s = pool.getSession(&carol);
    EXPECT_EQ(MessageSession::WAITING, s->getState());
    EXPECT_EQ(std::vector<int>{4000}, connects.ports);

    Client& other = h.connect();
    ASSERT_NE(nullptr, h.greet(other, "dave", 0x41));
    EXPECT_EQ(MessageSession::WAITING, s->getState());

    Client& partner = h.connect();
    Peer* p = h.greet(partner, "carol on the road", 0x40);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(MessageSession::CONNECTED, s->getState());
    EXPECT_EQ(p, s->getConnection());
    EXPECT_STREQ("carol on the road", s->getUser()->getName()) << "the peer's tags";
    EXPECT_TRUE(events.saw("session carol on the road 0"));
    EXPECT_EQ(1, pool.count());
}

TEST_F(MessagePoolTest, AFailedConnectEndsAWaitingSession) {
    UserMeta erin = user(LOOPBACK_IP, 4001, 0x50, "erin");
    ASSERT_EQ(MessageSession::WAITING, pool.getSession(&erin)->getState());
    theClientPool.notify(LOOPBACK_IP, 4002);
    EXPECT_EQ(1, pool.count()) << "another address";
    theClientPool.notify(LOOPBACK_IP, 4001);
    EXPECT_EQ(0, pool.count());
    EXPECT_TRUE(events.saw("session erin 3"));
}

TEST_F(MessagePoolTest, APeerWhoseSessionClosedIsStillHeardUnderPmAllowOneAndTwo) {
    uint8_t seed = 0x80;
    for (int allow : {1, 2}) {
        std::string what = "pmAllow " + std::to_string(allow);
        theTransferOptions.pmAllow = 0;
        Client& first = h.connect();
        Peer* p = h.greet(first, "henry", seed);
        ASSERT_NE(nullptr, p) << what;
        EXPECT_EQ(0, chat(first, "before")) << what;
        theTransferOptions.pmAllow = allow;
        close(first.fd);
        first.fd = -1;
        for (int i = 0; i < 60 && pool.count() > 0; i++) h.pump(1);
        ASSERT_EQ(0, pool.count()) << what << ": the closed session is freed";

        Client& again = h.connect();
        ASSERT_NE(nullptr, h.greet(again, "henry", seed)) << what;
        EXPECT_EQ(0, chat(again, "after " + what)) << what;
        EXPECT_TRUE(events.saw("chat henry: after " + what)) << what;
        close(again.fd);
        again.fd = -1;
        for (int i = 0; i < 60 && h.listed(seed); i++) h.pump(1);
        seed += 0x10;
    }
}

TEST_F(MessagePoolTest, TheRecordOfFormerPartnersIsBounded) {
    theTransferOptions.pmAllow = 0;
    auto partner = [](int i) {
        return user(LOOPBACK_IP, (uint16_t)(5000 + i), 0, ("p" + std::to_string(i)).c_str());
    };
    // Without a user hash a partner is known by address and port.
    for (int i = 0; i <= MessagePool::MAX_FORMER; i++) {
        UserMeta u = partner(i);
        ASSERT_TRUE(pool.gotMessage(&u, "hi"));
        theClientPool.notify(LOOPBACK_IP, (uint16_t)(5000 + i));
    }
    ASSERT_EQ(0, pool.count());
    theTransferOptions.pmAllow = 2;
    UserMeta oldest = partner(0);
    UserMeta second = partner(1);
    UserMeta newest = partner(MessagePool::MAX_FORMER);
    EXPECT_FALSE(pool.gotMessage(&oldest, "forgotten"));
    EXPECT_TRUE(pool.gotMessage(&second, "kept"));
    EXPECT_TRUE(pool.gotMessage(&newest, "kept"));
}

TEST_F(MessagePoolTest, AChatTextIsCutToTheLengthOfAChatMessage) {
    UserMeta frank = user(LOOPBACK_IP, 4003, 0x60, "frank");
    EXPECT_TRUE(pool.gotMessage(&frank, std::string(300, 'x').c_str()));
    EXPECT_TRUE(events.saw("chat frank: " + std::string(Peer::MAX_CHAT, 'x')));
}

TEST_F(MessagePoolTest, MessageTwentyTwoOpensAReportedSession) {
    MessageQ queue;
    theTransferHandler.registerHandlers(queue);
    UserMeta gina = user(LOOPBACK_IP, 4004, 0x70, "gina");
    // The global pool is the one the handler opens sessions in.
    queue.post(MSG_OPEN_CHAT, std::make_unique<UserMeta>(gina));
    while (queue.run(0)) {
    }
    EXPECT_TRUE(events.saw("session gina 1"));
    EXPECT_EQ(1, theMessagePool.count());
    theMessagePool.clear();
}

}  // namespace
