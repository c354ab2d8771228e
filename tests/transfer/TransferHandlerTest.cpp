#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "TransferTestSupport.h"
#include "core/CoreOptions.h"
#include "i4min/net/i4_proxy_settings.h"
#include "net/IpPort.h"
#include "transfer/ClientPool.h"
#include "transfer/HashThread.h"
#include "transfer/PeerEventHandler.h"
#include "transfer/TransferGateway.h"
#include "transfer/TransferHandler.h"

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

}  // namespace
