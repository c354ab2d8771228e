#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/UIMetaOutput.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MetaOutput.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserMeta.h"
#include "support/CapturedUI.h"
#include "transfer/friends/FriendList.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "ui/FriendCommands.h"
#include "ui/Servant.h"
#include "util/LL.h"

namespace {

const uint32_t TEN = 0x0A00000A;     // 10.0.0.10
const uint32_t ELEVEN = 0x0B00000B;  // 11.0.0.11

UserMeta user(uint32_t ip, uint16_t port, uint8_t hashByte, const char* name) {
    UserMeta u;
    u.ip = ip;
    u.port = port;
    memset(u.hash, hashByte, 16);
    u.setName(name);
    return u;
}

struct Posted : MessageHandler {
    Posted() { theMessageQ.setHandler(this, MSG_START_DOWNLOAD); }
    ~Posted() override { theMessageQ.setHandler(nullptr, MSG_START_DOWNLOAD); }
    void handleMessage(Message* m) override { records.push_back(m->take<FileMeta>()); }
    void drain() {
        for (int i = 0; i < 100 && theMessageQ.pending() > 0; i++) theMessageQ.run(0);
    }
    std::vector<std::unique_ptr<FileMeta>> records;
};

// Friend 1 (alice, 10.0.0.10:4662) shares "music" with two files and an empty "video";
// friend 2 (bob, 11.0.0.11:4000) one directory, "docs", nothing cached.
class FriendCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        saved = theServant;
        theServant = &servant;
        servant.getPager().setKeyReader([] { return ' '; });
        // Record tables print through the console, as in the client.
        setMetaOutput(&theUIMetaOutput);
        theFriendList.clear();
        theFriendList.addFriend(&alice);
        theFriendList.addFriend(&bob);
        directories(&alice, {"music", "video"});
        directories(&bob, {"docs"});
        FileList* files = new FileList;
        files->add(file("one.ogg", 1000, 0x31));
        files->add(file("two.ogg", 2000, 0x32));
        theFriendList.gotFiles(&alice, "music", files);
    }
    void TearDown() override {
        setMetaOutput(nullptr);
        theServant = saved;
        theFriendList.clear();
    }
    static void directories(UserMeta* u, const std::vector<const char*>& names) {
        LL* list = new LL;
        for (const char* n : names) list->append(new i4_string(n));
        theFriendList.gotDirectories(u, list);
    }
    static FileMeta* file(const char* name, uint32_t size, uint8_t hashByte) {
        FileMeta* m = new FileMeta;
        m->setName(name);
        m->setFileSize(size);
        uint8_t hash[16];
        memset(hash, hashByte, 16);
        m->setFileHash(hash);
        return m;
    }
    // Runs the handler on its own copy of the line, then shows the pager as the console
    // loop does; answers what it printed.
    std::string run(void (*handler)(char*), const char* line) {
        std::vector<char> copy(line, line + strlen(line) + 1);
        ui.out.clear();
        handler(copy.data());
        paged = servant.getPager().isActive();
        servant.getPager().show();
        return ui.out.text();
    }

    UserMeta alice = user(TEN, 4662, 0xA1, "alice");
    UserMeta bob = user(ELEVEN, 4000, 0xB1, "bob");
    CapturedUI ui;
    Servant servant;
    Servant* saved = nullptr;
    bool paged = false;
};

TEST_F(FriendCommandsTest, GfrListsAndBrowsesTheCache) {
    // Listings page; a download and its refusal do not.
    const struct {
        const char* line;
        const char* printed;
        bool paged;
    } cases[] = {
        {"gfr", "(1)\t10.0.0.10\t4662\t [not connected]\n(2)\t11.0.0.11\t4000\t [not connected]\n",
         true},
        {"gfr 1", "2 directories:\n1) music\n2) video\n", true},
        {"gfr 3", "Attempting to view invalid friend index: 3\n", true},
        {"gfr 0 1", "Attempting to view invalid friend index: 0\n", true},
        {"gfr alice", "Attempting to view invalid friend index: alice\n", true},
        {"gfr 1 3", "Attempting to view invalid directory index: 3\n", true},
        {"gfr 2 2 3", "Attempting to view invalid directory index: 2\n", false},
        {"gfr 1 1 3", "Attempting to download invalid file: 3\n", false},
        {"gfr 1 x 1", "Attempting to view invalid directory index: x\n", false},
        // Nothing cached, no connection to be had here: only the fetch line.
        {"gfr 2 1", "fetching requested files...\n", true},
        {"gfr 1 r", "fetching requested dirs...\n", true},
        {"gfr 1 2", "fetching requested files...\n", true},
        {"gfr 1 1 r", "fetching requested files...\n", true},
    };
    for (auto& c : cases) {
        EXPECT_EQ(c.printed, run(FriendCommands::get, c.line)) << c.line;
        EXPECT_EQ(c.paged, paged) << c.line;
    }

    std::string files = run(FriendCommands::get, "gfr 1 1");
    EXPECT_EQ(0u, files.find("2 files:\n")) << files;
    EXPECT_NE(std::string::npos, files.find("(1) one.ogg")) << files;
    EXPECT_NE(std::string::npos, files.find("(2) two.ogg")) << files;
}

TEST_F(FriendCommandsTest, GfrWithAFileNumberStartsItsDownload) {
    Posted posted;
    EXPECT_EQ("", run(FriendCommands::get, "gfr 1 1 2"));
    EXPECT_FALSE(paged);
    posted.drain();
    ASSERT_EQ(1u, posted.records.size());
    FileMeta* m = posted.records[0].get();
    EXPECT_STREQ("two.ogg", m->getName());
    EXPECT_EQ(2000u, (uint32_t)m->getFileSize());
    uint8_t hash[16];
    memset(hash, 0x32, 16);
    EXPECT_EQ(0, memcmp(hash, m->getFileHash(), 16));
}

TEST_F(FriendCommandsTest, AfrAddsTheUserOfAConnectionAndRfrRemovesAFriend) {
    Peer* carol = new Peer(0x0C00000C, 4662, true);
    carol->getUser()->setName("carol");
    memset(carol->getUser()->hash, 0xC1, 16);
    theClientPool.addPeer(carol);
    Peer* copyOfAlice = new Peer(TEN, 4662, true);
    copyOfAlice->getUser()->copy(&alice);
    theClientPool.addPeer(copyOfAlice);

    EXPECT_EQ("invalid peer index:\n", run(FriendCommands::add, "afr"));
    EXPECT_EQ("", run(FriendCommands::add, "afr 0"));
    EXPECT_EQ("", run(FriendCommands::add, "afr 9"));
    EXPECT_EQ(2, theFriendList.count());
    EXPECT_EQ("added friend.\n", run(FriendCommands::add, "afr 1"));
    EXPECT_EQ(3, theFriendList.count());
    EXPECT_EQ("added friend.\n", run(FriendCommands::add, "afr 2"));
    EXPECT_EQ(3, theFriendList.count()) << "alice is a friend already";

    EXPECT_EQ(
        "(1)\talice\t [connected]\n(2)\t11.0.0.11\t4000\t [not connected]\n"
        "(3)\tcarol\t [connected]\n",
        run(FriendCommands::get, "gfr"));

    for (const char* line : {"rfr", "rfr 0", "rfr x", "rfr 4"}) {
        EXPECT_EQ("", run(FriendCommands::remove, line)) << line;
        EXPECT_EQ(3, theFriendList.count()) << line;
    }
    run(FriendCommands::remove, "rfr 2");
    EXPECT_EQ(2, theFriendList.count());
    EXPECT_EQ("(1)\talice\t [connected]\n(2)\tcarol\t [connected]\n",
              run(FriendCommands::get, "gfr"));
    delete carol;
    delete copyOfAlice;
}

}  // namespace
