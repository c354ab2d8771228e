#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageHandler.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "meta/FileMeta.h"
#include "support/CapturedUI.h"
#include "ui/FileLink.h"

namespace {

const std::string HASH = "0123456789abcdefABCDEF0123456789";

// What "dllink" posted: the records of message 10.
struct Posted : MessageHandler {
    Posted() { theMessageQ.setHandler(this, MSG_START_DOWNLOAD); }
    ~Posted() override { theMessageQ.setHandler(nullptr, MSG_START_DOWNLOAD); }
    void handleMessage(Message* m) override { records.push_back(m->take<FileMeta>()); }
    void drain() {
        for (int i = 0; i < 100 && theMessageQ.pending() > 0; i++) theMessageQ.run(0);
    }
    std::vector<std::unique_ptr<FileMeta>> records;
};

struct Servers : NetworkGateway {
    void start() override {}
    void stop() override {}
    DownloadSources* newDownloadSources() override { return nullptr; }
    int firewallState() override { return 2; }
    int addServer(uint32_t ip, uint16_t port) override {
        added.push_back(std::to_string(ip) + ":" + std::to_string(port));
        return 1;
    }
    std::vector<std::string> added;
};

void run(const std::string& line) {
    std::vector<char> copy(line.begin(), line.end());
    copy.push_back(0);
    FileLink::command(copy.data());
}

// Each malformed link prints its one message and starts nothing.
TEST(FileLink, MalformedLinksTable) {
    const std::string notValid = "This is not a valid tnv4-link.\n";
    const std::string zero = "Invalid tnv4-link with 0 size.\n";
    const std::string badHash = "Invalid hash in tnv4-link.\n";
    struct Row {
        std::string line;
        std::string printed;
    } rows[] = {
        {"dllink", notValid},
        {"dllink tnv4://", notValid},
        {"dllink tnv4://|file|a.mp3|100|", notValid},
        {"dllink tnv4://|movie|a.mp3|100|" + HASH + "|", notValid},
        // An empty name shifts the fields: the hash is read as the size.
        {"dllink tnv4://|file||100|" + HASH + "|/", zero},
        {"dllink tnv4://|file|a.mp3|0|" + HASH + "|", zero},
        {"dllink tnv4://|file|a.mp3|abc|" + HASH + "|", zero},
        {"dllink tnv4://|file|a.mp3|12x|" + HASH + "|", zero},
        {"dllink tnv4://|file|a.mp3|-5|" + HASH + "|", zero},
        {"dllink tnv4://|file|a.mp3|4294967296|" + HASH + "|", notValid},
        {"dllink tnv4://|file|a.mp3|100|" + HASH.substr(1) + "|", badHash},
        {"dllink tnv4://|file|a.mp3|100|" + HASH + "0|", badHash},
        {"dllink tnv4://|file|a.mp3|100|" + HASH.substr(0, 31) + "g|", badHash},
        // Names holding control bytes, as typed or decoded.
        {"dllink tnv4://|file|a%09b|100|" + HASH + "|", notValid},
        {"dllink tnv4://|file|a\tb|100|" + HASH + "|", notValid},
        {"dllink tnv4://|file|a%0Ab|100|" + HASH + "|", notValid},
        {"dllink tnv4://|file|a%1b[2Jb|100|" + HASH + "|", notValid},
        {"dllink tnv4://|file|a%7Fb|100|" + HASH + "|", notValid},
        {"dllink tnv4://|server|1.2.3|4661|", notValid},
        {"dllink tnv4://|server|1.2.3.4|0|", notValid},
        {"dllink tnv4://|server|1.2.3.4|70000|", notValid},
        {"dllink tnv4://|server|1.2.3.4|", notValid},
    };
    for (const Row& r : rows) {
        CapturedUI ui;
        Posted posted;
        run(r.line);
        posted.drain();
        EXPECT_EQ(r.printed, ui.text()) << r.line;
        EXPECT_TRUE(posted.records.empty()) << r.line;
    }
}

TEST(FileLink, AGoodFileLinkPostsItsRecord) {
    struct Row {
        std::string line;
        std::string name;
        uint32_t size;
    } rows[] = {
        {"dllink tnv4://|file|my+song%2C+live.mp3|4294967295|" + HASH + "|", "my song, live.mp3",
         4294967295u},
        // Any scheme, and the last bar may be missing.
        {"dllink other:stuff|file|x.bin|1|" + HASH, "x.bin", 1},
    };
    for (const Row& r : rows) {
        CapturedUI ui;
        Posted posted;
        run(r.line);
        posted.drain();
        EXPECT_EQ("", ui.text());
        ASSERT_EQ(1u, posted.records.size()) << r.line;
        FileMeta* m = posted.records[0].get();
        EXPECT_STREQ(r.name.c_str(), m->getName());
        EXPECT_EQ(r.size, m->getFileSize());
        EXPECT_EQ(0x01, m->getFileHash()[0]);
        EXPECT_EQ(0x89, m->getFileHash()[15]);
    }
}

TEST(FileLink, AServerLinkAddsTheServer) {
    CapturedUI ui;
    Servers servers;
    NetworkGateway* saved = theNetworkGateway;
    theNetworkGateway = &servers;
    run("dllink tnv4://|server|10.0.0.1|4661|");
    theNetworkGateway = saved;
    EXPECT_EQ("", ui.text());
    EXPECT_EQ((std::vector<std::string>{std::to_string(0x0100000Au) + ":4661"}), servers.added);
}

}  // namespace
