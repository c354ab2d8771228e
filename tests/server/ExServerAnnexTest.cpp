#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "core/Core.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/Search.h"
#include "server/ExServer.h"
#include "server/ExServerAnnex.h"

using namespace servertest;

namespace {

class ExServerAnnexTest : public ServerFixture {
protected:
    ExServerAnnexTest() {
        server = new ExServer(LOOPBACK, udp.tcpPort());
        pool().servers().add(server);
    }
    ~ExServerAnnexTest() override {
        drainMessages();
        connector.reset();
        sockets.reset();
        theCore.filters.clear();
    }

    ExServerAnnex& annex() { return *pool().annex(); }

    // Runs the pool until the server has the datagram the annex sent.
    std::string received() {
        std::string got;
        pump([&] { return !(got = udp.receive(20)).empty(); });
        return got;
    }
    // The annex has sent a first datagram, so the server knows where to answer.
    void introduce() {
        annex().sendStatusRequest(LOOPBACK, udp.tcpPort());
        ASSERT_FALSE(received().empty());
    }
    // Lets the annex take in what the server sent: a status answer marks the end.
    void settle() {
        udp.send(ExServerAnnex::OP_STATUS, le32((uint32_t)now) + le32(424242) + le32(0));
        pump([&] { return server->getTagInt("users") == 424242; });
    }

    RecordingLink link;
    RecordingServerUI ui;
    CaptureUI console;
    UdpServer udp;
    ExServer* server = nullptr;
};

TEST_F(ExServerAnnexTest, StatusAnswersGiveTheRoundTripAndClearTheUnansweredCount) {
    server->history = 3;
    server->age = ExServer::PING_EVERY_MS;
    now = 1000;
    pool().run(1);
    EXPECT_EQ(received(), std::string("\xe3\x96") + le32(1000)) << "to the TCP port + 4";
    EXPECT_EQ(server->history, 4);
    EXPECT_EQ(server->age, 0);

    now = 1250;
    udp.send(ExServerAnnex::OP_STATUS, le32(1000) + le32(5) + le32(6));
    ASSERT_TRUE(pump([&] { return server->ping != 0; }));
    EXPECT_EQ(server->ping, 250);
    EXPECT_EQ(server->history, 0);
    EXPECT_EQ(server->getTagInt("users"), 5);
    EXPECT_EQ(server->getTagInt("files"), 6);
    EXPECT_EQ(server->priority, 2000000 - 250 + 100000);

    // A second answer replaces the first; one within the same millisecond still counts.
    server->history = 2;
    udp.send(ExServerAnnex::OP_STATUS, le32(1250) + le32(7) + le32(8));
    ASSERT_TRUE(pump([&] { return server->getTagInt("users") == 7; }));
    EXPECT_EQ(server->ping, 2);
    EXPECT_EQ(server->history, 0);
    EXPECT_GT(server->priority, 0) << "a fast server is not one that never answered";
}

TEST_F(ExServerAnnexTest, ResultsSourcesAndCallbackFailuresFromAnyServer) {
    theCore.filters.addWord("spam");
    link.downloads.push_back(hash16('k'));
    introduce();
    const std::string via = " via 0100007f:" + std::to_string(udp.tcpPort());
    udp.send(ExServerAnnex::OP_SEARCH_RESULT,
             fileWire(hash16('a'), {tagString(special(1), "wanted")}));
    udp.send(ExServerAnnex::OP_SEARCH_RESULT,
             fileWire(hash16('b'), {tagString(special(1), "SPAM here")}));
    udp.send(ExServerAnnex::OP_SEARCH_RESULT, hash16('c') + le32(0) + le16(0) + le32(5));
    udp.send(ExServerAnnex::OP_SOURCES, hash16('u') + "\x01" + le32(0x0200000A) + le16(4662));
    udp.send(ExServerAnnex::OP_SOURCES,
             hash16('k') + "\x02" + le32(0x0200000A) + le16(4662) + le32(7) + le16(4663));
    udp.send(ExServerAnnex::OP_SOURCES, hash16('k') + "\x09" + le32(0x0300000A) + le16(1));
    udp.send(ExServerAnnex::OP_CALLBACK_FAILED, le32(99));
    settle();
    EXPECT_EQ(ui.results, std::vector<std::string>{"wanted"});
    EXPECT_EQ(link.calls,
              (std::vector<std::string>{
                  "source d1 0200000a:4662" + via, "source d1 00000007:4663" + via,
                  "download callback failed 0100007f 99", "friend callback failed 0100007f 99",
                  "upload callback failed 0100007f 99"}));
    EXPECT_EQ(link.released, 2);
}

TEST_F(ExServerAnnexTest, ShortAndUnknownDatagramsAreDroppedAlone) {
    introduce();
    udp.send(ExServerAnnex::OP_STATUS, "\x01\x02\x03\x04\x05");
    udp.send(ExServerAnnex::OP_CALLBACK_FAILED, "\x01");
    udp.send(99, "what");
    udp.sendToAnnex("\xc5\x97" + le32(0) + le32(1) + le32(2));
    settle();
    EXPECT_EQ(server->getTagInt("users"), 424242) << "the datagram after them is handled";
    EXPECT_TRUE(link.calls.empty());
    EXPECT_NE(console.debugText.find("ExServer Unknown Msg: 99"), std::string::npos);
}

TEST_F(ExServerAnnexTest, SendersWriteOneDatagramEach) {
    theCoreOptions.setClientId(0x0100007F);
    theCoreOptions.setDoorPort(4662);
    Search* s = new Search();
    s->addRef();
    s->addNode(new SN_FindStr("ab"), 0);
    s->addNode(new SN_FindStr("c"), SN_Compound::AND);
    uint8_t h[16];
    memset(h, 0x42, sizeof h);
    const std::string expression =
        std::string("\x00\x00", 2) + "\x01" + text("ab") + "\x01" + text("c");

    annex().sendSearch(s, LOOPBACK, udp.tcpPort());
    EXPECT_EQ(received(), "\xe3\x98" + expression);
    annex().sendSearchKind1(s, LOOPBACK, udp.tcpPort());
    EXPECT_EQ(received(), "\xe3\x9d" + expression);
    annex().sendGetSources(h, LOOPBACK, udp.tcpPort());
    EXPECT_EQ(received(), "\xe3\x9a" + std::string(16, '\x42'));
    annex().sendCallbackRequest(0x00001234, LOOPBACK, udp.tcpPort());
    EXPECT_EQ(received(), "\xe3\x9c" + le32(0x0100007F) + le16(4662) + le32(0x00001234));

    annex().sendStatusRequest(LOOPBACK, 65533);
    EXPECT_EQ(annex().queuedPackets(), 0) << "no UDP port past 65535";
    s->release();
}

}  // namespace
