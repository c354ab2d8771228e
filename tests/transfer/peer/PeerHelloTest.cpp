#include <gtest/gtest.h>

#include "../PeerTestSupport.h"
#include "meta/SpecialTagInfo.h"
#include "support/Waiting.h"
#include "transfer/peer/PeerHello.h"
#include "util/UniqueID.h"

using namespace peertest;

namespace {

std::string fromHex(const char* hex) {
    std::string out;
    for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
        unsigned v = 0;
        sscanf(hex + i, "%2x", &v);
        out += (char)v;
    }
    return out;
}

// Vectors made by the scripted peer of the end-to-end tests, a third writing of the formula.
struct Vector {
    const char* body;
    uint16_t port;
    const char* trailer;
};
const Vector kVectors[] = {
    {"0110000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d", 4662, "19b82b1c"},
    {"4cc8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeef", 0,
     "a3006620"},
    {"0110ffffffffffffffffffffffffffffffffffffffffffffffffff", 32767, "4ac59e82"},
    {"011007090b0d0f11131517191b1d1f21232527292b2d2f31333537", 32768, "f4139699"},
    {"01106465666768696a6b6c6d6e6f707172737475767778797a7b", 40000, "a715d57e"},
    {"4c00000000", 65535, "81478507"},
};

}  // namespace

TEST(PeerTrailer, WritesTheVectorsAndAcceptsThem) {
    for (const Vector& v : kVectors) {
        std::string body = fromHex(v.body);
        std::string expected = fromHex(v.trailer);
        EXPECT_EQ(expected, referenceTrailer(body, v.port)) << v.body;

        std::string sent = body + std::string(4, '\0');
        PeerHello::trailer((uint8_t*)&sent[0], (uint32_t)sent.size(),
                           PeerHello::trailerSeed(v.port));
        EXPECT_EQ(expected, sent.substr(body.size())) << "port " << v.port;

        std::string received = body + expected;
        EXPECT_TRUE(PeerHello::trailer((uint8_t*)&received[0], (uint32_t)received.size(),
                                       PeerHello::trailerSeed(v.port)))
            << "port " << v.port;
    }
}

TEST(PeerTrailer, PortsAboveThe16BitSignLimitSeedNegative) {
    EXPECT_EQ(-25536, PeerHello::trailerSeed(40000));
    EXPECT_EQ(-1, PeerHello::trailerSeed(65535));
    EXPECT_EQ(32767, PeerHello::trailerSeed(32767));
    // The sign matters: the same bytes under the unsigned reading give another trailer.
    std::string body = fromHex(kVectors[4].body) + std::string(4, '\0');
    std::string unsignedSeed = body;
    PeerHello::trailer((uint8_t*)&unsignedSeed[0], (uint32_t)body.size(), 40000);
    EXPECT_NE(fromHex(kVectors[4].trailer), unsignedSeed.substr(body.size() - 4));
}

TEST(PeerTrailer, MatchesTheFormulaOnRandomPayloads) {
    srand(7);
    for (int round = 0; round < 300; round++) {
        std::string body((size_t)(1 + rand() % 90), '\0');
        for (char& b : body) b = (char)rand();
        uint16_t port = (uint16_t)rand();
        std::string sent = body + std::string(4, '\0');
        PeerHello::trailer((uint8_t*)&sent[0], (uint32_t)sent.size(), PeerHello::trailerSeed(port));
        ASSERT_EQ(referenceTrailer(body, port), sent.substr(body.size())) << "round " << round;
    }
}

TEST(PeerTrailer, AnyWrongTrailerByteFailsTheCheck) {
    std::string good = fromHex(kVectors[0].body) + fromHex(kVectors[0].trailer);
    for (size_t i = good.size() - 4; i < good.size(); i++) {
        std::string bad = good;
        bad[i] ^= 0x01;
        EXPECT_FALSE(PeerHello::trailer((uint8_t*)&bad[0], (uint32_t)bad.size(), 4662)) << i;
    }
}

// ---- hellos through the door

struct PeerHelloTest : ::testing::Test {
    Harness h;
    Sides sides;
    SidesScope scope{sides};
};

TEST_F(PeerHelloTest, GoodHelloIsAnsweredListedAndTrusted) {
    theCoreOptions.setDoorPort(4662);
    Client& c = h.connect();
    std::string answer = h.hello(c, "alice", 0x10);

    Peer* p = h.listed(0x10);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(1, p->getUser()->trailerValid);
    EXPECT_EQ(1, p->getPrLevel());
    EXPECT_STREQ("alice", p->getName());
    EXPECT_EQ(LOOPBACK_IP, p->getUser()->ip);
    EXPECT_STREQ("127.0.0.1", p->getIpText().c_str());
    EXPECT_EQ(10501, p->getUser()->getSpecialInt(SpecialTagInfo::VERSION));

    // The answer is the own record, the server and a trailer seeded with the own door port.
    std::string body = std::string(1, (char)Peer::OP_HELLO_ANSWER) + answer;
    ASSERT_GT(body.size(), 4u);
    std::string head = body.substr(0, body.size() - 4);
    EXPECT_EQ(referenceTrailer(head, 4662), body.substr(body.size() - 4));
    EXPECT_EQ((size_t)theCoreOptions.getUserMetaSize() + 11, body.size());
}

// Each case spoils one thing the trailer covers; the peer is answered and listed all the
// same, only marked.
TEST_F(PeerHelloTest, SpoiledTrailersMarkThePeerWithoutRefusingIt) {
    struct Case {
        const char* what;
        int flip;  // byte counted back from the trailer's first byte; -1 none
        int trailerByte;
        bool otherSeed;
        bool cutTrailer;
    };
    const Case cases[] = {
        {"byte 8 before the trailer", 8, -1, false, false},
        {"byte 7 before the trailer", 7, -1, false, false},
        {"byte 6 before the trailer", 6, -1, false, false},
        {"byte 5 before the trailer", 5, -1, false, false},
        {"byte 4 before the trailer", 4, -1, false, false},
        {"byte 3 before the trailer", 3, -1, false, false},
        {"byte 2 before the trailer", 2, -1, false, false},
        {"byte 1 before the trailer", 1, -1, false, false},
        {"trailer byte 0", -1, 0, false, false},
        {"trailer byte 3", -1, 3, false, false},
        {"seed of another port", -1, -1, true, false},
        {"no trailer at all", -1, -1, false, true},
    };
    uint8_t seed = 0x20;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Client& c = h.connect();
        uint16_t port = Harness::localPort(c);
        std::string body = helloBody(userRecord(hashOf(seed), LOOPBACK_IP, port, "mallory"), false);
        std::string t = referenceTrailer(body, k.otherSeed ? (uint16_t)(port + 1) : port);
        if (k.flip > 0) body[body.size() - k.flip] ^= 0x01;
        if (k.trailerByte >= 0) t[k.trailerByte] ^= 0x80;
        if (k.cutTrailer) t.clear();
        c.write(rawFrame(body + t));
        EXPECT_EQ(Peer::OP_HELLO_ANSWER, h.nextOpcode(c));
        Peer* p = h.listed(seed);
        ASSERT_NE(nullptr, p);
        EXPECT_EQ(0, p->getUser()->trailerValid);
        EXPECT_FALSE(c.eof);
        seed += 0x10;
    }
}

TEST_F(PeerHelloTest, RefusedFirstPacketsCloseWithoutAnswer) {
    struct Case {
        const char* what;
        std::string payload;
    };
    std::string record = userRecord(hashOf(0x30), LOOPBACK_IP, 5000, "x");
    const Case cases[] = {
        {"ping first", std::string(1, (char)Peer::OP_PING)},
        {"hash length 15", std::string("\x01\x0f", 2) + record + std::string(10, '\0')},
        {"record cut short", std::string("\x01\x10", 2) + record.substr(0, 20)},
        {"tag count past the end", std::string("\x01\x10", 2) + record.substr(0, 22) + le32(9999)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Client& c = h.connect();
        c.write(rawFrame(k.payload));
        EXPECT_TRUE(h.closes(c));
        uint8_t op;
        std::string body;
        EXPECT_FALSE(c.takeFrame(&op, &body)) << "answered with " << (int)op;
    }
    EXPECT_EQ(0, theClientPool.count());
}

TEST_F(PeerHelloTest, SecondConnectionOfAListedUserIsDropped) {
    Client& first = h.connect();
    h.hello(first, "alice", 0x40);
    Client& second = h.connect();
    // The same hash from another address and port is the same user.
    std::string body = helloBody(userRecord(hashOf(0x40), 0x0200007F, 7777, "alice"), false);
    second.write(rawFrame(body + referenceTrailer(body, 7777)));
    EXPECT_TRUE(h.closes(second));
    first.sendFrame(Peer::OP_PING);
    EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(first)) << "the first connection goes on";
    EXPECT_EQ(1, theClientPool.count());
}

// A second hello is no hello: the default answer, and the connection stays. A second hello
// answer is read again (a new name here) but the peer is listed once.
TEST_F(PeerHelloTest, LaterHellosAreNotFirstPackets) {
    struct Case {
        bool answer;
        uint8_t seed;
        const char* name;
        const char* debug;
    };
    const Case cases[] = {
        {false, 0x50, "alice", "Unknown msg from TCPConnection: 1\n"},
        {true, 0x58, "alicia", "Peer already on list\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.answer ? "hello answer" : "hello");
        Client& c = h.connect();
        h.hello(c, "alice", k.seed);
        uint16_t port = Harness::localPort(c);
        std::string body =
            helloBody(userRecord(hashOf(k.seed), LOOPBACK_IP, port, k.name), k.answer);
        c.write(rawFrame(body + referenceTrailer(body, port)));
        c.sendFrame(Peer::OP_PING);
        // No answer to it: the ping's answer is the next frame.
        EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(c));
        Peer* p = h.listed(k.seed);
        ASSERT_NE(nullptr, p);
        EXPECT_STREQ(k.name, p->getName());
        EXPECT_NE(std::string::npos, h.ui.debugText.find(k.debug));
    }
    EXPECT_EQ(2, theClientPool.count());
}

TEST_F(PeerHelloTest, IdZeroTakesTheSocketAddressAndAnotherAddressIsReported) {
    Client& zero = h.connect();
    uint16_t port = Harness::localPort(zero);
    std::string body = helloBody(userRecord(hashOf(0x60), 0, port, "zero"), false);
    zero.write(rawFrame(body + referenceTrailer(body, port)));
    std::string rest;
    EXPECT_EQ(Peer::OP_HELLO_ANSWER, h.nextOpcode(zero));
    ASSERT_NE(nullptr, h.listed(0x60));
    EXPECT_EQ(LOOPBACK_IP, h.listed(0x60)->getUser()->ip);

    // An address that is not the socket's: the peer is told (107) right after the answer.
    Client& other = h.connect();
    port = Harness::localPort(other);
    body = helloBody(userRecord(hashOf(0x70), 0x0403020A, port, "elsewhere"), false);
    other.write(rawFrame(body + referenceTrailer(body, port)));
    uint8_t op = 0;
    std::string b;
    ASSERT_TRUE(h.next(other, &op, &b));
    EXPECT_EQ(Peer::OP_HELLO_ANSWER, op);
    ASSERT_TRUE(h.next(other, &op, &b));
    EXPECT_EQ(Peer::OP_ADDRESS_DIFFERS, op);
    EXPECT_STREQ("10.2.3.4", h.listed(0x70)->getIpText().c_str());
}

// Both ends of one loopback connection in the same pool: the outgoing side says hello as
// soon as it is attached, the accepting side answers, and both list each other.
TEST_F(PeerHelloTest, OutgoingPeerSaysHelloAndTakesTheAnswer) {
    theCoreOptions.setDoorPort(40000);
    theCoreOptions.setClientId(LOOPBACK_IP);
    UserMeta target;
    target.ip = LOOPBACK_IP;
    target.port = (uint16_t)h.port;
    Peer* out = nullptr;
    ASSERT_EQ(ClientPool::UNDER_WAY, theClientPool.connect(&target, &out, true));
    EXPECT_EQ(nullptr, out);
    passUntil([&] { return theClientPool.count() >= 2; }, [&] { h.pool.run(1); });
    ASSERT_EQ(2, theClientPool.count());
    LLsafe* peers = theClientPool.getConnections();
    for (int i = 0; i < 2; i++) {
        Peer* p = static_cast<Peer*>(peers->get(i));
        // Both carry the own record, whose trailer was seeded with a port above 32767.
        EXPECT_EQ(1, p->getUser()->trailerValid) << i;
        EXPECT_EQ(40000, p->getUser()->port) << i;
    }
}

TEST_F(PeerHelloTest, DescribeShowsVersionTrailerAndKeep) {
    Client& c = h.connect();
    Peer* p = h.greet(c, "alice", 0x80);
    ASSERT_NE(nullptr, p);
    p->setKeep(true);
    i4_string line;
    p->describe(line);
    std::string expected = "alice [127.0.0.1:" + std::to_string(Harness::localPort(c)) +
                           "] (0) 10501 (0.00,0.00) [1] keep: 1";
    EXPECT_EQ(expected, line.c_str());
}
