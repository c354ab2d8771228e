#include <algorithm>
#include <functional>
#include <gtest/gtest.h>

#include "../PeerTestSupport.h"
#include "support/Waiting.h"
#include "transfer/source/SourceList.h"
#include "transfer/source/SourceListEntry.h"

using namespace peertest;

namespace {

const std::string H = hashOf(0xA0);  // the file every case asks about

std::string bits(uint16_t count, const std::string& data) {
    return le16(count) + data;
}

std::string str(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}

struct PeerDispatchTest : ::testing::Test {
    PeerDispatchTest() {
        c = &h.connect();
        h.hello(*c, "alice", 0x10);
        peer = h.listed(0x10);
        EXPECT_NE(nullptr, peer);
    }
    // What the client answers to one frame: the opcode and body of its next frame, or 0
    // when the frame was answered by nothing (a ping sent after it is answered first).
    uint8_t ask(uint8_t opcode, const std::string& body, std::string* answer = nullptr) {
        c->sendFrame(opcode, body);
        if (opcode == Peer::OP_PING) return h.nextOpcode(*c, answer);
        c->sendFrame(Peer::OP_PING);
        std::string b;
        uint8_t op = h.nextOpcode(*c, &b);
        if (op == Peer::OP_PING_ANSWER) return 0;
        if (answer) *answer = b;
        EXPECT_EQ(Peer::OP_PING_ANSWER, h.nextOpcode(*c)) << "after " << (int)op;
        return op;
    }
    // Sends a frame and reports whether the client dropped the connection for it.
    bool drops(uint8_t opcode, const std::string& body) {
        c->sendFrame(opcode, body);
        c->sendFrame(Peer::OP_PING);
        bool answered = false;
        bool ended = passUntil(
            [&] {
                c->drain();
                uint8_t op;
                std::string b;
                while (c->takeFrame(&op, &b))
                    if (op == Peer::OP_PING_ANSWER) answered = true;
                return answered || c->eof;
            },
            [&] { h.pool.run(1); });
        if (!ended) ADD_FAILURE() << "neither answered nor closed";
        return ended && !answered;
    }

    Harness h;
    Sides sides;
    SidesScope scope{sides};
    Client* c = nullptr;
    Peer* peer = nullptr;
};

}  // namespace

TEST_F(PeerDispatchTest, RequestsAndTheirAnswers) {
    sides.share(hashOf(0xB0), "whole.ogg", 5000000, "/share/whole.ogg");
    sides.share(hashOf(0xC0), "partial.ogg", 20000000, "");
    sides.share(hashOf(0xD0), "gone.ogg", 20000000, "");
    BoolArray doneCrumbs(42);
    doneCrumbs.set(3, 1);
    sides.done[hashOf(0xC0)] = doneCrumbs;

    struct Case {
        const char* what;
        uint8_t opcode;
        std::string body;
        uint8_t answer;  // 0: none
        std::string answerBody;
    };
    std::string partialBits = le16(42) + std::string("\x08\0\0\0\0\0", 6);
    const Case cases[] = {
        {"status of a file not shared", 79, hashOf(0xE0), 72, hashOf(0xE0)},
        {"status of a complete file: 20 bytes, count 0 and a pad", 79, hashOf(0xB0), 80,
         hashOf(0xB0) + std::string(3, '\0')},
        {"status of a partial file: its done crumbs", 79, hashOf(0xC0), 80,
         hashOf(0xC0) + partialBits},
        {"status of a partial file whose download has none", 79, hashOf(0xD0), 72, hashOf(0xD0)},
        {"name of a shared file", 88, hashOf(0xB0), 89, hashOf(0xB0) + str("whole.ogg")},
        {"name of a file not shared: no answer", 88, hashOf(0xE0), 0, ""},
        {"ping", 98, "", 99, ""},
        {"partner request without a partner manager's yes", 101, H, 102, H},
        {"chat nobody takes", 78, str("hi"), 83, ""},
        {"upload request for a file not shared", 84, hashOf(0xE0), 72, hashOf(0xE0)},
        {"upload request for a shared file: queued, no answer", 84, hashOf(0xB0), 0, ""},
        {"crumb hashes of a file not shared", 105, hashOf(0xE0), 72, hashOf(0xE0)},
        {"crumb hashes of a shared file without hash sets", 105, hashOf(0xB0), 104,
         hashOf(0xB0) + std::string("\0", 1)},
        {"part hashes are never sent", 81, H, 0, ""},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        std::string got;
        uint8_t op = ask(k.opcode, k.body, &got);
        EXPECT_EQ(k.answer, op);
        if (op == k.answer && k.answer) {
            EXPECT_EQ(k.answerBody, got);
        }
    }
    // The upload request for the shared file reached the queue, the other one did not.
    int enqueued = 0;
    for (auto& call : sides.calls) enqueued += call == "enqueue";
    EXPECT_EQ(1, enqueued);
    EXPECT_TRUE(sides.has("doneBits:crumbs"));
    EXPECT_TRUE(sides.has("chat:hi"));
    EXPECT_TRUE(sides.has("addSource"));
}

TEST_F(PeerDispatchTest, LevelZeroPeersGetPartBitsAndPartHashRequests) {
    Client& old = h.connect();
    h.hello(old, "bob", 0x20, true, 0);
    Peer* bob = h.listed(0x20);
    ASSERT_NE(nullptr, bob);
    EXPECT_EQ(0, bob->getPrLevel());
    sides.share(hashOf(0xC0), "partial.ogg", 20000000, "");
    sides.done[hashOf(0xC0)] = BoolArray(3);
    old.sendFrame(79, hashOf(0xC0));
    std::string body;
    EXPECT_EQ(80, h.nextOpcode(old, &body));
    EXPECT_EQ(hashOf(0xC0) + le16(3) + std::string(1, '\0'), body);
    EXPECT_TRUE(sides.has("doneBits:parts"));

    // Its hashes are asked with 81, a level-1 peer's with 105; a small file's status is
    // never asked.
    bob->requestHashes(raw(H));
    peer->requestHashes(raw(H));
    EXPECT_FALSE(bob->requestFileStatus(raw(H), 9728000));
    EXPECT_TRUE(bob->requestFileStatus(raw(H), 9728001));
    EXPECT_FALSE(peer->requestFileStatus(raw(H), 486400));
    EXPECT_TRUE(peer->requestFileStatus(raw(H), 486401));
    EXPECT_EQ(81, h.nextOpcode(old, &body));
    EXPECT_EQ(79, h.nextOpcode(old, &body));
    EXPECT_EQ(105, h.nextOpcode(*c, &body));
    EXPECT_EQ(79, h.nextOpcode(*c, &body));
}

TEST_F(PeerDispatchTest, PartnersChatAndSlotsFollowWhatTheSidesSay) {
    sides.acceptsPartner = true;
    sides.takesChat = true;
    std::string body;
    EXPECT_EQ(103, ask(101, H, &body));
    EXPECT_EQ(H, body);
    EXPECT_EQ(0, ask(78, str(std::string(250, 'x'))));
    EXPECT_TRUE(sides.has("chat:" + std::string(200, 'x')));

    // A slot nobody takes: 86, and the reference taken for it is given back.
    EXPECT_EQ(86, ask(85, ""));
    EXPECT_TRUE(sides.has("openSlot:1"));
    EXPECT_EQ(0, peer->refCount());
    sides.takesSlot = true;
    EXPECT_EQ(0, ask(85, ""));
    EXPECT_EQ(1, peer->refCount());
}

TEST_F(PeerDispatchTest, PeerEventsReachTheirSides) {
    sides.partials[H] = {20000000, 42};
    struct Case {
        uint8_t opcode;
        std::string body;
        std::string call;
    };
    std::string r = le32(10) + le32(0) + le32(0) + le32(20) + le32(0) + le32(0);
    const Case cases[] = {
        {70, H + le32(5) + le32(9) + "abcd", "data:5-9:abcd"},
        {70, H + le32(5) + le32(5), "data:5-5:"},
        {71, H + r, "ranges:10-20,0-0"},
        {72, H, "noFile"},
        {73, H, "cancelled"},
        {82, H + le16(2) + std::string(32, '\x11'), "partHashes"},
        {83, "", "notAccepting"},
        {86, "", "cancelled"},
        {87, "", "queued"},
        {89, H + str(std::string(400, 'n')), "fileName:" + std::string(300, 'n')},
        {91, H, "addSource"},
        {92, le32(7), "rank:7"},
        {102, H, "partnerDenied"},
        {103, H, "partnerAccepted"},
        {104, H + std::string("\0\0", 2), "crumbHashes"},
        {106, H + le32(41), "crumbAvailable:41"},
        {95, le32(2) + str("music") + str(std::string(220, 'd')),
         "directories:music;" + std::string(200, 'd') + ";"},
        {96, str("music") + le32(0), "files:music:0"},
        {97, "", "givesFiles:0"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE((int)k.opcode);
        sides.calls.clear();
        EXPECT_EQ(0, ask(k.opcode, k.body));
        EXPECT_TRUE(sides.has(k.call)) << (sides.calls.empty() ? "no call" : sides.calls.back());
    }
    EXPECT_EQ(1u, h.ui.lines.size());
    EXPECT_EQ("Client does not give out files", h.ui.lines.back());
}

TEST_F(PeerDispatchTest, WithoutAPartialFileStatusAndHashesAreIgnored) {
    // No download has the file: nothing is handed on and the connection stays.
    EXPECT_EQ(0, ask(80, H + bits(3, std::string(1, '\x07'))));
    EXPECT_EQ(0, ask(80, H + bits(7, std::string(1, '\x7f'))));
    EXPECT_EQ(0, ask(104, H + std::string(1, '\x01') + std::string(32, 'h')));
    EXPECT_TRUE(sides.calls.empty());
}

TEST_F(PeerDispatchTest, FileStatusBitsBecomeCrumbBits) {
    const std::string exact = hashOf(0x51), three = hashOf(0x52), tiny = hashOf(0x53);
    sides.partials[exact] = {9728000, 20};
    sides.partials[three] = {20000000, 42};
    sides.partials[tiny] = {100, 1};
    struct Case {
        const char* what;
        std::string hash;
        uint16_t count;
        std::string data;
        const char* crumbs;  // expected bits, crumb 0 first
    };
    const Case cases[] = {
        {"count 0: the whole file", three, 0, "", "111111111111111111111111111111111111111111"},
        {"three part bits spread over 20 crumbs each", three, 3, "\x05",
         "111111111111111111110000000000000000000011"},
        {"crumb bits as they are", three, 42, std::string("\x01\0\0\0\0\x02", 6),
         "100000000000000000000000000000000000000001"},
        {"exact multiple, counted with the extra part", exact, 2, "\x01", "11111111111111111111"},
        {"exact multiple, counted without it", exact, 1, "\x01", "11111111111111111111"},
        {"exact multiple, crumb bits", exact, 20, std::string("\x03\0\0", 3),
         "11000000000000000000"},
        {"one part, one crumb", tiny, 1, "\x01", "1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        sides.statuses.clear();
        EXPECT_EQ(0, ask(80, k.hash + bits(k.count, k.data)));
        ASSERT_EQ(1u, sides.statuses.size());
        char text[64] = {0};
        sides.statuses[0].toString(text, 63);
        EXPECT_STREQ(k.crumbs, text);
    }
}

TEST_F(PeerDispatchTest, MalformedFramesDropTheConnection) {
    sides.partials[H] = {20000000, 42};
    struct Case {
        const char* what;
        uint8_t opcode;
        std::string body;
    };
    const Case cases[] = {
        {"7 status bits for a 3-part file", 80, H + bits(7, "\x7f")},
        {"status bit count past the end", 80, H + bits(4000, "\xff\xff")},
        {"data ending before it starts", 70, H + le32(9) + le32(5)},
        {"data shorter than its range", 70, H + le32(0) + le32(1000) + "abc"},
        {"part hash count past the end", 82, H + le16(500) + std::string(32, 'p')},
        {"directory count past the end", 95, le32(1000) + str("a")},
        {"more directories than any share has", 95, le32(Peer::MAX_DIRECTORIES + 1)},
        {"name longer than the frame", 89, H + le16(60000) + "abc"},
        {"file list that cannot be read", 96, str("music") + le32(3) + "junk"},
        {"hash cut short", 72, std::string(10, 'h')},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        Client& x = h.connect();
        c = &x;
        h.hello(x, "mallory", 0x60);
        // The socket closes when the pool deletes the peer, which unlists it.
        EXPECT_TRUE(drops(k.opcode, k.body));
        EXPECT_EQ(nullptr, h.listed(0x60));
    }
    EXPECT_NE(h.ui.lines.end(), std::find(h.ui.lines.begin(), h.ui.lines.end(),
                                          "Peer sent bad file gaps: mallory (7[3 or 42])"));
}

TEST_F(PeerDispatchTest, ShareViewsFollowFrAllow) {
    FileList* music = new FileList;
    FileMeta* song = new FileMeta;
    song->setName("song.ogg");
    song->setFileSize(1000);
    int32_t priority = 3;
    song->setSpecialTag(19, &priority);
    music->add(song);
    sides.directories["/share/music"] = music;
    sides.directories["/share/empty"] = new FileList;
    sides.directoryOrder = {"/share/music", "/share/empty"};

    struct Case {
        int allow;
        bool isFriend;
        uint8_t listAnswer;   // to 93
        uint8_t filesAnswer;  // to 94 for "/share/music"
    };
    const Case cases[] = {
        {0, false, 95, 96}, {1, false, 97, 97}, {1, true, 95, 96},
        {2, true, 97, 97},  {3, true, 0, 0},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::to_string(k.allow) + (k.isFriend ? " friend" : ""));
        theTransferOptions.frAllow = k.allow;
        sides.friendly = k.isFriend;
        std::string body;
        EXPECT_EQ(k.listAnswer, ask(93, "", &body));
        // Only directories with files are listed; the incomplete files have none.
        if (k.listAnswer == 95) {
            EXPECT_EQ(le32(1) + str("/share/music"), body);
        }
        EXPECT_EQ(k.filesAnswer, ask(94, str("/share/music"), &body));
        if (k.filesAnswer == 96) {
            ASSERT_GT(body.size(), 2 + 12u + 4u);
            EXPECT_EQ(str("/share/music") + le32(1), body.substr(0, 14 + 4));
            // The copy sent carries no upload priority; the shared record keeps it.
            EXPECT_EQ(std::string::npos, body.find(std::string("\x03\x01\x00\x13", 4)));
            EXPECT_EQ(3, song->getSpecialInt(19));
        }
    }
    theTransferOptions.frAllow = 0;
    EXPECT_EQ(0, ask(94, str("/share/empty")));
    EXPECT_EQ(0, ask(94, str("/nowhere")));
}

TEST_F(PeerDispatchTest, IdChangeAndUnknownOpcodes) {
    EXPECT_EQ(0, ask(77, le32(0x0A0B0C0D) + le32(0x01020304)));
    EXPECT_EQ(0x0A0B0C0Du, peer->getUser()->ip);
    EXPECT_EQ(0x01020304u, peer->getUser()->serverIp);
    EXPECT_STREQ("13.12.11.10", peer->getIpText().c_str());
    EXPECT_EQ(0, ask(77, le32(0) + le32(0)));
    EXPECT_EQ(LOOPBACK_IP, peer->getUser()->ip);

    EXPECT_EQ(0, ask(200, "anything"));
    EXPECT_EQ(0, ask(74, ""));
    EXPECT_NE(std::string::npos, h.ui.debugText.find("Unknown msg from TCPConnection: 200\n"));
    EXPECT_EQ(0, ask(5, ""));
    EXPECT_EQ("Either your client or one you are connected to is out of date.", h.ui.lines.back());
}

TEST_F(PeerDispatchTest, QueueRankIsKeptForAnAskedPeerOnly) {
    theSourceList.clear();
    EXPECT_EQ(0, ask(92, le32(5)));
    EXPECT_EQ(0, theSourceList.count());
    theSourceList.askForUpload(peer, raw(H));
    EXPECT_EQ(84, h.nextOpcode(*c));
    EXPECT_EQ(0, ask(92, le32(9)));
    ASSERT_NE(nullptr, theSourceList.find(peer->getUser()));
    EXPECT_EQ(9, theSourceList.find(peer->getUser())->value);
    theSourceList.clear();
}

TEST_F(PeerDispatchTest, SendersBuildTheirFrames) {
    struct Case {
        std::function<void()> send;
        uint8_t opcode;
        std::string body;
    };
    uint32_t starts[3] = {1, 2, 3}, ends[3] = {4, 5, 6};
    theCoreOptions.setClientId(0x11223344);
    theCoreOptions.setServerIp(0x55667788);
    const Case cases[] = {
        {[&] { peer->requestRanges(raw(H), starts, ends); }, 71,
         H + le32(1) + le32(2) + le32(3) + le32(4) + le32(5) + le32(6)},
        {[&] { peer->sendIdChange(); }, 77, le32(0x11223344) + le32(0x55667788)},
        {[&] { peer->sendChat("hello"); }, 78, str("hello")},
        {[&] { peer->sendUploadRequest(raw(H)); }, 84, H},
        {[&] { peer->sendSlotGranted(); }, 85, ""},
        {[&] { peer->sendOutOfParts(); }, 87, ""},
        {[&] { peer->requestFileName(raw(H)); }, 88, H},
        {[&] { peer->sendConnectRequest(0x04030201, 4662); }, 90, le32(0x04030201) + le16(4662)},
        {[&] { peer->sendSourceOffer(raw(H)); }, 91, H},
        {[&] { peer->sendQueueRank(12); }, 92, le32(12)},
        {[&] { peer->requestSharedFiles(nullptr); }, 93, ""},
        {[&] { peer->requestSharedFiles("dir"); }, 94, str("dir")},
        {[&] { peer->sendNoShareView(); }, 97, ""},
        {[&] { peer->sendNotice(); }, 100, ""},
        {[&] { peer->sendPartnerRequest(raw(H)); }, 101, H},
        {[&] { peer->sendCrumbAvailable(raw(H), 17); }, 106, H + le32(17)},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE((int)k.opcode);
        k.send();
        std::string body;
        EXPECT_EQ(k.opcode, h.nextOpcode(*c, &body));
        EXPECT_EQ(k.body, body);
    }
}
