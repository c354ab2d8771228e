// The remote UI in front of the console: what is printed where with and without a
// controller, the search results a controller can download from, the server events, and
// controllers coming and going while another thread prints.
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "ControllerTestSupport.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net_test_support.h"
#include "net/TCPDoor.h"
#include "ui/TcpipUI.h"

using namespace remotetest;
using namespace nettest;

namespace {

using TcpipUITest = RemoteFixture;

FileMeta* record(uint8_t hashByte, const char* name) {
    FileMeta* r = new FileMeta;
    uint8_t hash[16];
    memset(hash, hashByte, 16);
    r->setFileHash(hash);
    r->setName(name);
    r->setFileSize(1000);
    return r;
}

TEST_F(TcpipUITest, WithoutAControllerTheConsoleShowsWhatItWouldAlone) {
    ui.printLine("line %d", 1);
    ui.print("text %s", "without end\n");
    ui.printLine("%s", "100% of %s");
    ui.connected("big server");
    ui.serverStatus(7, 9);
    ui.hashingStatus("hashing a");
    ui.friendsChanged();
    EXPECT_EQ("line 1\ntext without end\n100% of %s\n", console.text());
    EXPECT_EQ(std::vector<std::string>(
                  {"connected big server", "status 7 9", "hashing hashing a", "friends changed"}),
              console.events);
    // A result without a controller is the console's, and no controller finds it later.
    ui.searchResult(record(0x11, "early.ogg"));
    EXPECT_EQ(1, console.results.getList()->count());
    uint8_t hash[16];
    memset(hash, 0x11, 16);
    EXPECT_EQ(nullptr, ui.copyResult(hash));
}

TEST_F(TcpipUITest, WithAControllerLinesGoToBothAndTextOnlyToTheController) {
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    ui.printLine("%s", "100% of %s%n");
    ui.print("%s", "answer %d");
    ui.hashingStatus("hashing b");
    ui.connected("big server");
    ui.serverStatus(7, 9);
    ui.disconnected();
    ASSERT_TRUE(await(end, GUIController::OUT_DISCONNECTED));
    EXPECT_EQ(std::vector<std::string>{"100% of %s%n"}, end.texts(GUIController::OUT_LINE));
    EXPECT_EQ(std::vector<std::string>{"answer %d"}, end.texts(GUIController::OUT_TEXT));
    EXPECT_EQ(std::vector<std::string>{"hashing b"}, end.texts(GUIController::OUT_HASHING));
    EXPECT_EQ(std::vector<std::string>{"big server"}, end.texts(GUIController::OUT_CONNECTED));
    std::string status;
    for (const Frame& f : end.got)
        if (f.op == GUIController::OUT_SERVER_STATUS) status = f.body;
    EXPECT_EQ(le32(7) + le32(9), status);
    EXPECT_EQ("100% of %s%n\n", console.text());
    EXPECT_TRUE(console.events.empty());

    // A text longer than a packet's room is cut, never split inside a character.
    std::string longText = std::string(TcpipUI::PACKET_TEXT_ROOM - 1, 'x') + "\xc3\xa9";
    ui.printLine("%s", longText.c_str());
    ASSERT_TRUE(pump([&] { return end.texts(GUIController::OUT_LINE).size() == 2; }));
    EXPECT_EQ(std::string(TcpipUI::PACKET_TEXT_ROOM - 1, 'x'),
              end.texts(GUIController::OUT_LINE)[1]);

    // The controller shows them as console lines: control bytes arrive masked, layout kept.
    ui.printLine("%s", "red \x1b[31m\tx\ny\x07");
    ui.connected("big\x1b]0;t\x07 server");
    ASSERT_TRUE(pump([&] { return end.texts(GUIController::OUT_LINE).size() == 3; }));
    ASSERT_TRUE(pump([&] { return end.texts(GUIController::OUT_CONNECTED).size() == 2; }));
    EXPECT_EQ("red ?[31m\tx\ny?", end.texts(GUIController::OUT_LINE)[2]);
    EXPECT_EQ("big?]0;t? server", end.texts(GUIController::OUT_CONNECTED)[1]);
}

TEST_F(TcpipUITest, ABatchOfResultsReplacesTheOneAControllerDownloadsFrom) {
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    ui.searchResult(record(0x21, "single.ogg"));
    FileList* batch = new FileList;
    batch->add(record(0x22, "a.ogg"));
    batch->add(record(0x23, "b.ogg"));
    ui.searchResults(batch, true);
    std::string results;
    ASSERT_TRUE(await(end, GUIController::OUT_RESULTS, &results));
    EXPECT_EQ(1, (int)results.back()) << "the more flag";
    uint8_t single[16], second[16];
    memset(single, 0x21, 16);
    memset(second, 0x23, 16);
    EXPECT_EQ(nullptr, ui.copyResult(single));
    std::unique_ptr<FileMeta> copy(ui.copyResult(second));
    ASSERT_NE(nullptr, copy);
    EXPECT_STREQ("b.ogg", copy->getName());
    EXPECT_EQ(0, console.results.getList()->count());

    // 207 downloads a copy of the result; an unknown hash posts nothing.
    MessageRecorder posted({MSG_START_DOWNLOAD});
    end.send(GUIController::IN_DOWNLOAD_RESULT, std::string(16, '\x22'));
    end.send(GUIController::IN_DOWNLOAD_RESULT, std::string(16, '\x21'));
    end.send(GUIController::IN_OPTIONS);
    ASSERT_TRUE(await(end, GUIController::OUT_OPTIONS));
    std::vector<MessageRecorder::Seen>& seen = posted.drain();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(std::string(16, '\x22'), seen[0].hash);
}

// Controllers attach, detach and go while another thread prints and reports through the
// remote UI, as the hashing thread does: no send may reach a controller being destroyed.
TEST_F(TcpipUITest, ControllersComeAndGoWhileAnotherThreadPrints) {
    std::atomic<bool> done{false};
    std::atomic<int> printed{0};
    std::thread printer([&] {
        while (!done) {
            ui.printLine("hashing %d", printed.load());
            ui.print("%s", "part");
            ui.hashingStatus("status");
            printed++;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    for (int round = 0; round < 30; round++) {
        ControllerEnd& end = open();
        ASSERT_TRUE(login(end)) << round;
        ASSERT_TRUE(pump([&] { return !end.texts(GUIController::OUT_HASHING).empty(); })) << round;
        end.pair->closePeer();
        ASSERT_TRUE(pump([&] { return !ui.hasController(); })) << round;
    }
    done = true;
    printer.join();
    EXPECT_GT(printed.load(), 0);
    EXPECT_FALSE(ui.hasController());
}

// Controllers come from outside whatever proxy the client's own connections use: the door
// listens directly. A port it cannot have is said on the console, and nothing is polled.
TEST_F(TcpipUITest, TheDoorListensDirectlyAndAPortInUseIsReported) {
    i4_proxy_settings socks;
    socks.type = I4_PROXY_SOCKS5;
    socks.host = i4_strdup("127.0.0.1");
    socks.port = free_port();  // nobody answers there
    theProtocolHolder.setProxy(&socks);
    socks.release();

    int taken = 0;
    int holder = listen_loopback(1, &taken);
    ASSERT_GE(holder, 0);
    EXPECT_FALSE(ui.openDoor(pool.get(), taken));
    EXPECT_EQ(nullptr, ui.getDoor());
    EXPECT_NE(std::string::npos,
              console.text().find("ERROR: can't listen on port " + std::to_string(taken) + "."));
    close(holder);

    int port = free_port();
    ASSERT_TRUE(ui.openDoor(pool.get(), port));
    ASSERT_NE(nullptr, ui.getDoor());
    int before = connections();
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa = loopback_sa(port);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
    EXPECT_TRUE(pump([&] { return connections() == before + 1; }));
    close(fd);
    theProtocolHolder.setProxy(nullptr);
}

}  // namespace
