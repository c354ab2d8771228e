#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "../PeerTestSupport.h"
#include "../TransferTestSupport.h"
#include "i4min/TempDir.h"
#include "meta/FileMeta.h"
#include "support/ByteCompare.h"
#include "support/ChildProcess.h"
#include "support/Waiting.h"
#include "transfer/friends/FriendList.h"

using namespace peertest;

namespace {

std::string str(const std::string& s) {
    return le16((uint16_t)s.size()) + s;
}

// A file record's wire form: hash, id 0, port 0, name and size tags.
std::string fileRecord(uint8_t hashSeed, const std::string& name, uint32_t size) {
    return hashOf(hashSeed) + le32(0) + le16(0) + le32(2) + tagString("\x01", name) +
           tagInt("\x02", size);
}

// A user record's disk form: ip, port, hash, a name tag.
std::string diskUser(uint32_t ip, uint16_t port, uint8_t hashSeed, const std::string& name) {
    std::string hash = hashSeed ? hashOf(hashSeed) : std::string(16, '\0');
    return le32(ip) + le16(port) + hash + le32(1) + tagString("\x01", name);
}

std::string listFile(uint32_t count, const std::string& records) {
    return std::string(1, '\x0E') + le32(count) + records;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Seen {
    uint32_t ip = 0;
    uint16_t port = 0;
    std::string hash, name;
    int status = -1;
    bool gives = false;
    int directories = 0;
};

// The friend list in front of real peers: scripted clients at a loopback door, the list as
// the peers' friend side and a listener of the connection pool; outgoing connects are only
// recorded.
struct FriendListTest : ::testing::Test {
    FriendListTest() {
        initSpecialTags();
        savedPeerFriends = theClientPool.services().friends;
        theClientPool.services().friends = &list.peerAnswer;
        theClientPool.addListener(&list);
        savedUI = theTransferUI;
        theTransferUI = &events;
        theCoreOptions.setClientId(0x0200007F);
        theCoreOptions.maxCon = 45;
    }
    ~FriendListTest() override {
        theClientPool.removeListener(&list);
        theClientPool.services().friends = savedPeerFriends;
        theTransferUI = savedUI;
    }
    Seen friendAt(int number) {
        Seen s;
        list.withFriend(number, [&](FriendCache& f) {
            UserMeta* r = f.getRecord();
            s.ip = r->ip;
            s.port = r->port;
            s.hash = std::string((const char*)r->hash, 16);
            s.name = r->getName() ? r->getName() : "";
            s.status = f.getStatus();
            s.gives = f.givesFiles();
            s.directories = f.directoryCount();
        });
        return s;
    }
    // The next frame the client gets, a ping answer standing for "nothing else".
    uint8_t nextAfterPing(Client& c, std::string* body = nullptr) {
        c.sendFrame(Peer::OP_PING);
        return h.nextOpcode(c, body);
    }
    bool printed(const std::string& line) {
        for (auto& l : h.ui.lines)
            if (l == line) return true;
        return false;
    }

    Harness h;
    FriendList list;
    RecordingTransferUI events;
    RecordedConnects connects;
    PeerFriends* savedPeerFriends;
    TransferUI* savedUI;
};

TEST_F(FriendListTest, AddingTheSameUserKeepsOneFriend) {
    struct Case {
        const char* what;
        UserMeta first, second;
        int friends;
    } cases[] = {
        {"same address and port", user(0x0A00000A, 4662, 1, "a"), user(0x0A00000A, 4662, 2, "b"),
         1},
        {"same hash elsewhere", user(0x0A00000A, 4662, 1, "a"), user(0x0B00000B, 4000, 1, "b"), 1},
        {"different users", user(0x0A00000A, 4662, 1, "a"), user(0x0B00000B, 4662, 2, "b"), 2},
        // friend.met keeps no address for a low id: only the hash tells such friends apart.
        {"no address, other hashes", user(0, 0, 1, "a"), user(0, 0, 2, "b"), 2},
        {"no address, same hash", user(0, 0, 1, "a"), user(0, 0, 1, "b"), 1},
        {"no address, no hash", user(0, 0, 0, "a"), user(0, 0, 0, "b"), 2},
    };
    for (Case& c : cases) {
        list.clear();
        EXPECT_TRUE(list.addFriend(&c.first)) << c.what;
        EXPECT_EQ(c.friends == 2, list.addFriend(&c.second)) << c.what;
        EXPECT_EQ(c.friends, list.count()) << c.what;
        EXPECT_EQ("a", friendAt(1).name) << c.what;
    }
    EXPECT_FALSE(list.addFriendByAddress(0, 4662));
    EXPECT_TRUE(list.addFriendByAddress(0x0C00000C, 4662));
    EXPECT_EQ(0x0C00000Cu, friendAt(list.count()).ip);
}

TEST_F(FriendListTest, BrowsingAConnectedFriendCachesItsDirectoriesAndFiles) {
    Client& c = h.connect();
    Peer* alice = h.greet(c, "alice", 0x10);
    ASSERT_NE(nullptr, alice);
    list.addFriend(alice->getUser());

    list.viewDirectories(1, false);
    EXPECT_TRUE(printed("Asking alice for file list."));
    EXPECT_TRUE(printed("fetching requested dirs..."));
    EXPECT_EQ(Peer::OP_DIRECTORY_LIST_REQUEST, h.nextOpcode(c));

    c.sendFrame(Peer::OP_DIRECTORY_LIST, le32(2) + str("music") + str("video"));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    EXPECT_TRUE(events.saw("directories of alice"));
    h.ui.lines.clear();
    list.viewDirectories(1, false);
    EXPECT_EQ((std::vector<std::string>{"2 directories:", "1) music", "2) video"}), h.ui.lines);

    // A directory without cached files is asked for by name.
    list.viewFiles(1, "music", false);
    std::string body;
    EXPECT_EQ(Peer::OP_DIRECTORY_FILES_REQUEST, h.nextOpcode(c, &body));
    EXPECT_EQ(str("music"), body);
    c.sendFrame(Peer::OP_DIRECTORY_FILES, str("music") + le32(2) +
                                              fileRecord(0x30, "one.ogg", 1000) +
                                              fileRecord(0x40, "two.ogg", 2000));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    EXPECT_TRUE(events.saw("files of alice in music"));

    h.ui.lines.clear();
    list.viewFiles(1, "music", false);
    ASSERT_FALSE(h.ui.lines.empty());
    EXPECT_EQ("2 files:", h.ui.lines[0]);
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c)) << "a cached list is not asked for again";

    std::unique_ptr<FileMeta> two(list.fileToDownload(1, 1, 2));
    ASSERT_NE(nullptr, two);
    EXPECT_STREQ("two.ogg", two->getName());
    EXPECT_EQ(hashOf(0x40), std::string((const char*)two->getFileHash(), 16));
    EXPECT_EQ(nullptr, list.fileToDownload(1, 1, 3));
    EXPECT_EQ(nullptr, list.fileToDownload(1, 2, 1)) << "video has no cached files";
    EXPECT_EQ(nullptr, list.fileToDownload(2, 1, 1));

    // A new directory list drops the old directories with their files.
    c.sendFrame(Peer::OP_DIRECTORY_LIST, le32(1) + str("books"));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    i4_string name;
    EXPECT_TRUE(list.directoryName(1, 1, &name));
    EXPECT_STREQ("books", name.c_str());
    EXPECT_FALSE(list.directoryName(1, 2, &name));
    EXPECT_EQ(nullptr, list.fileToDownload(1, 1, 1));

    h.ui.lines.clear();
    list.viewFiles(1, "films", false);
    EXPECT_EQ(std::vector<std::string>{"invalid directory name! (films)"}, h.ui.lines);

    // Refused: the friend gives no files.
    c.sendFrame(Peer::OP_NO_FILE_VIEW);
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    EXPECT_FALSE(friendAt(1).gives);
}

TEST_F(FriendListTest, ListsFromStrangersAreDroppedAndMakeNoFriend) {
    theTransferOptions.frAllow = 1;
    Client& c = h.connect();
    ASSERT_NE(nullptr, h.greet(c, "mallory", 0x50));
    EXPECT_TRUE(events.saw("connected mallory"));
    c.sendFrame(Peer::OP_DIRECTORY_LIST_REQUEST);
    EXPECT_EQ(Peer::OP_NO_FILE_VIEW, h.nextOpcode(c));

    c.sendFrame(Peer::OP_DIRECTORY_LIST, le32(1) + str("bait"));
    c.sendFrame(Peer::OP_DIRECTORY_FILES, str("bait") + le32(1) + fileRecord(0x31, "x", 1));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    EXPECT_EQ(0, list.count());
    EXPECT_FALSE(events.saw("directories of mallory"));
    EXPECT_FALSE(events.saw("files of mallory in bait"));

    c.sendFrame(Peer::OP_DIRECTORY_LIST_REQUEST);
    EXPECT_EQ(Peer::OP_NO_FILE_VIEW, h.nextOpcode(c)) << "still a stranger";
    c.sendFrame(Peer::OP_DIRECTORY_FILES_REQUEST, str("anything"));
    EXPECT_EQ(Peer::OP_NO_FILE_VIEW, h.nextOpcode(c));
}

TEST_F(FriendListTest, AWaitingBrowseIsSentOnceWhenTheFriendConnects) {
    UserMeta bob = user(LOOPBACK_IP, 4000, 0x20, "bob");
    list.addFriend(&bob);
    list.viewDirectories(1, false);
    EXPECT_EQ(std::vector<int>{4000}, connects.ports);
    EXPECT_TRUE(printed("Waiting for connection."));
    EXPECT_EQ(FriendCache::WAITING, friendAt(1).status);

    // bob calls in from another port: the same user by hash.
    Client& first = h.connect();
    Peer* p = h.greet(first, "bob", 0x20);
    ASSERT_NE(nullptr, p);
    EXPECT_EQ(Peer::OP_DIRECTORY_LIST_REQUEST, h.nextOpcode(first));
    Seen now = friendAt(1);
    EXPECT_EQ(FriendCache::CONNECTED, now.status);
    EXPECT_EQ(Harness::localPort(first), now.port) << "the record follows the peer";
    EXPECT_TRUE(events.saw("friends changed"));
    EXPECT_FALSE(events.saw("connected bob")) << "a friend is no stranger";
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(first));

    close(first.fd);
    first.fd = -1;
    ASSERT_TRUE(passUntil([&] { return !h.listed(0x20); }, [&] { h.pump(1); }));
    EXPECT_EQ(FriendCache::NOT_CONNECTED, friendAt(1).status);

    Client& second = h.connect();
    ASSERT_NE(nullptr, h.greet(second, "bob", 0x20));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(second)) << "the browse went out once";
}

TEST_F(FriendListTest, ARemovedFriendTakesItsWaitingBrowseAlong) {
    UserMeta carol = user(LOOPBACK_IP, 4001, 0x21, "carol");
    list.addFriend(&carol);
    list.viewFiles(1, "music", false);  // no directories yet: the list is asked for
    EXPECT_TRUE(printed("can't fetch files without dirs!\nfetching requested dirs..."));
    list.removeFriendAt(1);
    list.removeFriendAt(1);  // nobody left: nothing happens
    EXPECT_EQ(0, list.count());
    list.addFriend(&carol);

    Client& c = h.connect();
    ASSERT_NE(nullptr, h.greet(c, "carol", 0x21));
    EXPECT_EQ(Peer::OP_PING_ANSWER, nextAfterPing(c));
    EXPECT_EQ(FriendCache::CONNECTED, friendAt(1).status);

    list.removeFriend(h.listed(0x21)->getUser());
    EXPECT_EQ(0, list.count());
}

TEST_F(FriendListTest, ABrowseThatCannotConnectSaysWhy) {
    UserMeta noAddress = user(0, 0, 0x22, "dave");
    list.addFriend(&noAddress);
    list.viewDirectories(1, false);
    EXPECT_TRUE(printed("Need to look for user. Not yet implemented."));
    EXPECT_TRUE(connects.ports.empty());

    // Both low ids: no way to reach each other.
    theCoreOptions.setClientId(5);
    UserMeta lowId = user(7, 4662, 0x23, "erin");
    list.addFriend(&lowId);
    list.requestView(2, nullptr);
    EXPECT_TRUE(printed("Can't connect to User."));
    EXPECT_EQ(FriendCache::CANNOT_CONNECT, friendAt(2).status);
    EXPECT_TRUE(connects.ports.empty());
}

TEST_F(FriendListTest, FriendMetKeepsTheFriendsInOrder) {
    TempDir dir;
    std::string path = (dir / "friend.met").c_str();
    UserMeta high = user(0x0A00000A, 4662, 0x01, "high");
    UserMeta low = user(1234, 4662, 0x02, "low");
    list.addFriend(&high);
    list.addFriend(&low);
    ASSERT_TRUE(list.save(path.c_str()));
    EXPECT_EQ(listFile(2, diskUser(0x0A00000A, 4662, 0x01, "high") + diskUser(0, 0, 0x02, "low")),
              readFile(path));

    FriendList loaded;
    EXPECT_TRUE(loaded.load(path.c_str()));
    ASSERT_EQ(2, loaded.count());
    loaded.withFriend(1, [](FriendCache& f) {
        EXPECT_EQ(0x0A00000Au, f.getRecord()->ip);
        EXPECT_STREQ("high", f.getRecord()->getName());
        EXPECT_EQ(FriendCache::NOT_CONNECTED, f.getStatus());
    });
    loaded.withFriend(2, [](FriendCache& f) {
        EXPECT_EQ(0u, f.getRecord()->ip);
        EXPECT_EQ(hashOf(0x02), std::string((const char*)f.getRecord()->hash, 16));
    });

    FriendList none;
    EXPECT_TRUE(none.load((dir / "missing.met").c_str()));
    EXPECT_EQ(0, none.count());
}

TEST_F(FriendListTest, DamagedFriendMetLoadsWhatIsWholeEachUserOnce) {
    std::string a = diskUser(0x0A00000A, 4662, 0x01, "a");
    std::string b = diskUser(0x0B00000B, 4662, 0x02, "b");
    std::string lowA = diskUser(0, 0, 0x03, "c");
    std::string lowB = diskUser(0, 0, 0x04, "d");
    struct Case {
        const char* what;
        std::string bytes;
        bool whole;
        std::vector<std::string> names;
    } cases[] = {
        {"the same user twice", listFile(3, a + b + a), true, {"a", "b"}},
        {"two low ids", listFile(2, lowA + lowB), true, {"c", "d"}},
        {"a count far past the bytes", listFile(1000000, a + b), false, {"a", "b"}},
        {"cut inside the second record", listFile(2, a + b.substr(0, 10)), false, {"a"}},
        {"a tag length past the end",
         listFile(1, a.substr(0, 22) + le32(1) + "\x02\xFF\xFF"),
         false,
         {}},
        {"no list mark", std::string(1, '\x0F') + le32(1) + a, false, {}},
        {"empty", "", false, {}},
    };
    TempDir dir;
    std::string path = (dir / "friend.met").c_str();
    for (Case& c : cases) {
        writeFile(path, c.bytes);
        FriendList loaded;
        EXPECT_EQ(c.whole, loaded.load(path.c_str())) << c.what;
        std::vector<std::string> names;
        for (int i = 1; i <= loaded.count(); i++)
            loaded.withFriend(i,
                              [&](FriendCache& f) { names.push_back(f.getRecord()->getName()); });
        EXPECT_EQ(c.names, names) << c.what;
    }

    // A whole last good copy wins over a damaged file.
    writeFile(path, listFile(2, a + b.substr(0, 10)));
    writeFile(path + ".bak", listFile(2, a + b));
    FriendList loaded;
    EXPECT_TRUE(loaded.load(path.c_str()));
    EXPECT_EQ(2, loaded.count());
}

TEST_F(FriendListTest, AFailedSaveKeepsTheLastFriendMet) {
    TempDir dir;
    std::string path = (dir / "friend.met").c_str();
    std::string old = listFile(1, diskUser(0x0A00000A, 4662, 0x01, "old"));
    writeFile(path, old);
    UserMeta big = user(0x0B00000B, 4662, 0x02, std::string(3000, 'n').c_str());
    list.addFriend(&big);
    ChildOptions fullDisk;
    fullDisk.fileSizeLimit = 100;
    EXPECT_EQ(0, exitStatusOfChild(fullDisk, [&] { return list.save(path.c_str()) ? 1 : 0; }));
    EXPECT_BYTES_EQ(old, readFile(path));

    h.ui.lines.clear();
    EXPECT_FALSE(list.save((dir / "no/such/friend.met").c_str()));
    ASSERT_EQ(1u, h.ui.lines.size());
    EXPECT_NE(std::string::npos, h.ui.lines[0].find("friend.met was not replaced: "));
}

}  // namespace
