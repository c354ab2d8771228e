#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "../TransferTestSupport.h"
#include "core/CoreOptions.h"
#include "i4min/net/i4_proxy_settings.h"
#include "net/IpPort.h"
#include "support/ChildProcess.h"
#include "transfer/download/TempFiles.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/PeerEventHandler.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferHandler.h"

namespace {

struct FailedConnects : PeerEventHandler {
    void connectFailed(uint32_t ip, uint16_t port) override { seen.push_back({ip, port}); }
    std::vector<std::pair<uint32_t, uint16_t>> seen;
};

std::unique_ptr<FileMeta> record(const std::string& path, uint8_t hashByte) {
    std::unique_ptr<FileMeta> m(new FileMeta());
    m->setName("f");
    m->setFileSize(10);
    uint8_t hash[16];
    memset(hash, hashByte, 16);
    m->setFileHash(hash);
    m->setPath(path.c_str());
    return m;
}

// The messages of the transfer side, handled through a queue of their own.
class TransferHandlerTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        mkdir((dir / "S").c_str(), 0777);
        theTransferHandler.registerHandlers(queue);
        gateway.shareList.setDirectories({i4_string((dir / "S").c_str())});
    }
    void TearDown() override {
        theHashThread.stop();
        gateway.shareList.clear();
        gateway.sharedList.deleteAll();
        gateway.knownList.deleteAll();
        TransferFixture::TearDown();
    }
    void deliver() {
        while (queue.run(0)) {
        }
    }
    int sharedCount() { return gateway.sharedList.getList()->count(); }

    MessageQ queue;
    TransferGateway& gateway = theTransferGateway;
};

TEST_F(TransferHandlerTest, HashedFilesAreSharedAndUnsharedThroughTheQueue) {
    queue.post(MSG_SHARE_FILE, record(dir / "S/f", 1));
    deliver();
    ASSERT_EQ(sharedCount(), 1);
    EXPECT_EQ(gateway.findSharedDirectory((dir / "S").c_str())->getList()->count(), 1);
    queue.post(MSG_UNSHARE_FILE, record(dir / "S/f", 1));
    deliver();
    EXPECT_EQ(sharedCount(), 0);
    EXPECT_EQ(gateway.findSharedDirectory((dir / "S").c_str())->getList()->count(), 0);
}

TEST_F(TransferHandlerTest, ADirectoryTheHashingThreadCannotListIsDropped) {
    queue.post(MSG_DROP_SHARED_DIRECTORY, std::make_unique<i4_string>((dir / "S/").c_str()));
    deliver();
    EXPECT_EQ(gateway.findSharedDirectory((dir / "S").c_str()), nullptr);
    EXPECT_EQ(gateway.shareList.count(), 1);  // the incoming directory
}

TEST_F(TransferHandlerTest, ARescanDropsTheSharedRecordsAndSharesTheDirectoriesAgain) {
    writeText(dir / "S/real", "content");
    queue.post(MSG_SHARE_FILE, record(dir / "S/stale", 9));
    deliver();
    ASSERT_EQ(sharedCount(), 1);
    queue.post(MSG_RESCAN_SHARED);
    deliver();
    EXPECT_EQ(sharedCount(), 0);
    EXPECT_EQ(gateway.findSharedDirectory((dir / "S").c_str())->getList()->count(), 0);
    ASSERT_TRUE(waitFor([] { return theHashThread.isPassDone(); }));
    // What the pass found reaches the shared list through the client's own queue.
    theTransferHandler.registerHandlers(theMessageQ);
    ASSERT_TRUE(waitFor([&] {
        theMessageQ.run(0);
        return sharedCount() == 1;
    }));
    EXPECT_STREQ(((FileMeta*)gateway.sharedList.getAt(0))->getName(), "real");
}

TEST_F(TransferHandlerTest, AFailedConnectReachesThePeerListeners) {
    FailedConnects listener;
    theClientPool.addListener(&listener);
    queue.post(MSG_CONNECT_FAILED, std::make_unique<IpPort>(0x0100007F, 4662));
    deliver();
    theClientPool.removeListener(&listener);
    ASSERT_EQ(listener.seen.size(), 1u);
    EXPECT_EQ(listener.seen[0].first, 0x0100007Fu);
    EXPECT_EQ(listener.seen[0].second, 4662);
}

TEST_F(TransferHandlerTest, AProxyRecordForTheDoorComesIntoForce) {
    theCoreOptions.setProxy(nullptr);
    std::unique_ptr<i4_proxy_settings> socks(new i4_proxy_settings());
    socks->type = I4_PROXY_SOCKS5;
    socks->port = 1080;
    queue.post(MSG_REOPEN_DOOR, std::move(socks));
    deliver();
    ASSERT_NE(theProxySettings, nullptr);
    EXPECT_EQ(theProxySettings->type, (uint32_t)I4_PROXY_SOCKS5);
    EXPECT_EQ(gateway.getDoor(), nullptr);
    theCoreOptions.setProxy(nullptr);
}

TEST_F(TransferHandlerTest, PartialDownloadsOfAnotherDirectoryMoveIntoTheTemporaryOne) {
    TempDir from;
    // Qualifying: N.part.met beside N.part, the extension in exactly that case.
    const struct {
        const char* record;
        const char* data;  // null: no data file beside it
        bool moves;
    } cases[] = {
        {"1.part.met", "1.part", true},  {"song.mp3.part.met", "song.mp3.part", true},
        {"2.part.met", nullptr, false},  {"3.PART.met", "3.PART", false},
        {"4.part.MET", "4.part", false}, {"notes.txt", nullptr, false},
    };
    for (const auto& c : cases) {
        writeText(from / c.record, std::string("record of ") + c.record);
        if (c.data) writeText(from / c.data, std::string("data of ") + c.data);
    }
    theTempFiles.reset();
    writeText(dir / "temp/1.part", "a download already here");
    queue.post(MSG_LOAD_PARTIALS, std::make_unique<i4_string>(from.path.c_str()));
    deliver();
    std::vector<std::string> moved;
    for (const auto& c : cases) {
        EXPECT_EQ(fileExists(from / c.record), !c.moves) << c.record;
        if (c.moves) moved.push_back(std::string("record of ") + c.record);
    }
    // Each under a fresh number of its own, its record beside it.
    std::vector<std::string> arrived;
    for (int n = 2; n <= 3; ++n) {
        std::string data = dir / ("temp/" + std::to_string(n) + ".part");
        ASSERT_TRUE(fileExists(data)) << data;
        std::string record = readText(data + ".met");  // "record of <data name>.met"
        arrived.push_back(record);
        std::string name = record.substr(strlen("record of "));
        EXPECT_EQ(readText(data), "data of " + name.substr(0, name.size() - strlen(".met")));
    }
    std::sort(arrived.begin(), arrived.end());
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(arrived, moved);
    EXPECT_EQ(readText(dir / "temp/1.part"), "a download already here");

    // The temporary directory itself moves nothing; a missing one is reported.
    queue.post(MSG_LOAD_PARTIALS, std::make_unique<i4_string>(theTransferOptions.getTemp()));
    queue.post(MSG_LOAD_PARTIALS, std::make_unique<i4_string>((dir / "none").c_str()));
    deliver();
    EXPECT_TRUE(fileExists(dir / "temp/2.part.met"));
    EXPECT_NE(console.text().find("that directory " + dir / "none" + " does not exist.\n"),
              std::string::npos);
}

// A download whose data cannot follow (a full disk where the temporary directory lies)
// keeps its record beside its data.
TEST_F(TransferHandlerTest, ARecordMovesOnlyAfterItsData) {
    TempDir from("/dev/shm");
    struct stat a, b;
    if (from.path.empty() || stat(from.path.c_str(), &a) != 0 ||
        stat(theTransferOptions.getTemp().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    writeText(from / "1.part", std::string(64 * 1024, 'd'));
    writeText(from / "1.part.met", "record");
    theTempFiles.reset();
    ChildOptions fullDisk;
    fullDisk.fileSizeLimit = 4096;
    std::string temp = theTransferOptions.getTemp().c_str();
    EXPECT_EQ(0, exitStatusOfChild(fullDisk, [&] {
                  TransferHandler::moveTempFiles(from.path.c_str(), temp.c_str());
                  return 0;
              }));
    EXPECT_TRUE(fileExists(from / "1.part"));
    EXPECT_TRUE(fileExists(from / "1.part.met"));
    EXPECT_FALSE(fileExists(temp + "/1.part.met"));
    EXPECT_FALSE(fileExists(temp + "/1.part"));
}

}  // namespace
