#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "../../i4min/net_test_support.h"
#include "../TransferTestSupport.h"
#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/NetworkGateway.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_proxy_settings.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "net/STSocketPool.h"
#include "net/TCPDoor.h"
#include "transfer/share/TransferGateway.h"

namespace {

using nettest::free_port;
using nettest::listen_loopback;
using nettest::port_answers;

const char* const SENT = "# Sent";

struct FakeNetwork : NetworkGateway {
    void start() override {}
    void stop() override {}
    DownloadSources* newDownloadSources() override { return nullptr; }
    int firewallState() override { return 2; }
    void fileShared(FileMeta* f) override {
        published.push_back(f->getName());
        transientTags += f->findTag(SENT) != nullptr;
        transientTags += f->getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY) != nullptr;
    }
    void doorPortChanged() override { ++portChanges; }
    std::vector<std::string> published;
    int transientTags = 0;
    int portChanges = 0;
};

// A record as the hashing thread would hand it over: name, size, hash and path.
FileMeta* record(const std::string& path, const char* name, uint32_t size, uint8_t hashByte) {
    FileMeta* m = new FileMeta();
    m->setName(name);
    m->setFileSize(size);
    uint8_t hash[16];
    memset(hash, hashByte, 16);
    m->setFileHash(hash);
    m->setPath(path.c_str());
    return m;
}

class TransferGatewayTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        mkdir((dir / "S").c_str(), 0777);
        savedNetwork = theNetworkGateway;
        theNetworkGateway = &network;
        gateway.shareList.setDirectories({i4_string((dir / "S").c_str())});
    }
    void TearDown() override {
        theNetworkGateway = savedNetwork;
        TransferFixture::TearDown();
    }
    int filedUnder(const std::string& directory) {
        FileList* files = gateway.findSharedDirectory(directory.c_str());
        return files ? files->getList()->count() : -1;
    }
    const uint8_t* hashOf(uint8_t b) {
        memset(hashBytes, b, 16);
        return hashBytes;
    }

    FakeNetwork network;
    NetworkGateway* savedNetwork = nullptr;
    TransferGateway gateway;
    uint8_t hashBytes[16];
};

TEST_F(TransferGatewayTest, AHashedFileIsSharedFiledAndPublishedWithoutItsLocalTags) {
    gateway.fileHashed(record(dir / "S/song.mp3", "song.mp3", 1000, 1));
    ASSERT_EQ(gateway.sharedList.getList()->count(), 1);
    FileMeta* shared = (FileMeta*)gateway.sharedList.getAt(0);
    ASSERT_NE(shared->findTag(SENT), nullptr);
    EXPECT_EQ(shared->getTagFloat(SENT), 0.0f);
    ASSERT_NE(shared->getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY), nullptr);
    EXPECT_EQ(shared->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY), 0);
    EXPECT_EQ(filedUnder(dir / "S"), 1);
    EXPECT_EQ(events.events(), std::vector<std::string>{"changed song.mp3"});
    EXPECT_EQ(network.published, std::vector<std::string>{"song.mp3"});
    EXPECT_EQ(network.transientTags, 0);

    // The same file again replaces the content and is not published again.
    FileMeta* again = record(dir / "S/song.mp3", "song.mp3", 1000, 1);
    int32_t high = 2;
    again->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &high);
    gateway.fileHashed(again);
    EXPECT_EQ(gateway.sharedList.getList()->count(), 1);
    EXPECT_EQ(shared->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY), 2);
    EXPECT_EQ(filedUnder(dir / "S"), 1);
    EXPECT_EQ(network.published.size(), 1u);
}

TEST_F(TransferGatewayTest, APartialThatCompletesMovesFromIncompleteToItsDirectory) {
    gateway.fileHashed(record("", "movie.avi", 20000000, 7));
    EXPECT_EQ(filedUnder("!Incomplete Files"), 1);
    gateway.fileHashed(record(incoming() + "/movie.avi", "movie.avi", 20000000, 7));
    EXPECT_EQ(filedUnder("!Incomplete Files"), 0);
    EXPECT_EQ(filedUnder(incoming()), 1);
    EXPECT_EQ(gateway.sharedList.getList()->count(), 1);
    EXPECT_EQ(std::string(((FileMeta*)gateway.sharedList.getAt(0))->getPath()),
              incoming() + "/movie.avi");
}

TEST_F(TransferGatewayTest, AFileOfADirectoryNoLongerSharedIsDropped) {
    gateway.fileHashed(record(dir / "S/a", "a", 10, 1));
    gateway.shareList.setDirectories({});
    gateway.fileHashed(record(dir / "S/b", "b", 10, 2));
    // Its earlier record is withdrawn when it comes again.
    gateway.fileHashed(record(dir / "S/a", "a", 10, 1));
    EXPECT_EQ(gateway.sharedList.getList()->count(), 0);
    EXPECT_EQ(gateway.findSharedDirectory((dir / "S").c_str()), nullptr);
    EXPECT_EQ(network.published, std::vector<std::string>{"a"});
    EXPECT_TRUE(events.saw("removed a"));
}

TEST_F(TransferGatewayTest, UnshareRemovesOnlyTheRecordOfThatFile) {
    const struct {
        const char* what;
        std::string sharedPath;
        std::string givenPath;
        bool removed;
    } cases[] = {
        {"a partial's own entry", "", dir / "temp/1.part", true},
        {"the complete file by its own record", incoming() + "/f", incoming() + "/f", true},
        {"the complete file by its partial's record", incoming() + "/f", dir / "temp/1.part",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        gateway.fileHashed(record(c.sharedPath, "f", 100, 9));
        ASSERT_EQ(gateway.sharedList.getList()->count(), 1);
        events.clear();
        FileMeta given;
        given.copyFrom(gateway.sharedList.getAt(0));
        given.setPath(c.givenPath.c_str());
        gateway.unshareFile(&given);
        EXPECT_EQ(gateway.sharedList.getList()->count(), c.removed ? 0 : 1);
        EXPECT_EQ(filedUnder(c.sharedPath.empty() ? "!Incomplete Files" : incoming()),
                  c.removed ? 0 : 1);
        EXPECT_EQ(events.saw("removed f"), c.removed);
        gateway.shareList.clearFiles();
        gateway.sharedList.deleteAll();
    }
    FileMeta unknown;
    gateway.unshareFile(&unknown);
}

TEST_F(TransferGatewayTest, SentCountsWholeCopiesAndZeroByteFilesStayAtZero) {
    gateway.knownList.add(record(dir / "S/x", "x", 1000, 3));
    gateway.fileHashed(record(dir / "S/x", "x", 1000, 3));
    gateway.fileHashed(record(dir / "S/empty", "empty", 0, 4));
    for (uint64_t bytes : {400, 700, 400}) gateway.addSent(hashOf(3), bytes);
    gateway.addSent(hashOf(4), 1000);
    FileMeta* known = gateway.knownList.findByHash(hashOf(3));
    FileMeta* shared = gateway.sharedList.findByHash(hashOf(3));
    EXPECT_FLOAT_EQ(known->getTagFloat(SENT), 1.5f);
    EXPECT_FLOAT_EQ(shared->getTagFloat(SENT), 1.5f);
    EXPECT_EQ(gateway.sharedList.findByHash(hashOf(4))->getTagFloat(SENT), 0.0f);
    // Bytes beyond what 32 bits hold still count.
    gateway.addSent(hashOf(3), 5000000000ull);
    EXPECT_FLOAT_EQ(shared->getTagFloat(SENT), 5000001.5f);
}

TEST_F(TransferGatewayTest, UploadPriorityReachesTheKnownAndTheSharedRecord) {
    gateway.knownList.add(record(dir / "S/x", "x", 1000, 3));
    gateway.fileHashed(record(dir / "S/x", "x", 1000, 3));
    gateway.setUploadPriority(hashOf(3), 3);
    gateway.setUploadPriority(hashOf(8), 1);
    EXPECT_EQ(
        gateway.knownList.findByHash(hashOf(3))->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY), 3);
    EXPECT_EQ(
        gateway.sharedList.findByHash(hashOf(3))->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY),
        3);
}

// A quit or a command-line argument that comes before message 0 must not replace the
// stored lists with the empty ones of a gateway that has read nothing yet.
TEST_F(TransferGatewayTest, BeforeItsLoadTheGatewayWritesNoState) {
    writeText(dir / "share.dat", "kept");
    writeText(dir / "known.met", "kept too");
    gateway.setSharedDirectories({i4_string((dir / "S").c_str())});
    gateway.save();
    EXPECT_EQ(readText(dir / "share.dat"), "kept");
    EXPECT_EQ(readText(dir / "known.met"), "kept too");
    EXPECT_FALSE(gateway.isLoaded());
}

// known.met made of records of the given sizes, each with or without its crumb hashes.
void writeKnown(const std::string& path, const std::vector<std::pair<uint32_t, bool>>& files) {
    FileList list;
    uint8_t b = 1;
    for (auto& f : files) {
        FileMeta* m = record("", "f", f.first, b++);
        if (f.second) {
            std::vector<uint8_t> crumbs((size_t)m->crumbCount() * 8, 0x5A);
            m->setCrumbHashes(crumbs.data(), m->crumbCount());
        }
        list.add(m);
    }
    ASSERT_TRUE(list.save(path.c_str(), true));
    list.deleteAll();
}

TEST_F(TransferGatewayTest, AnOldKnownMetIsDroppedWhole) {
    const uint32_t small = 486400, large = 486401;
    const struct {
        const char* what;
        std::vector<std::pair<uint32_t, bool>> files;
        bool dropped;
    } cases[] = {
        {"only files of one crumb", {{small, false}, {100, false}}, false},
        {"first larger file lacks crumbs", {{small, false}, {large, false}, {large, true}}, true},
        {"first larger file has crumbs", {{100, false}, {large, true}, {large, false}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeKnown(theTransferOptions.getKnownPath().c_str(), c.files);
        console.out.clear();
        TransferGateway fresh;
        fresh.loadKnownList();
        EXPECT_EQ(fresh.knownList.getList()->count(), c.dropped ? 0 : (int)c.files.size());
        EXPECT_EQ(console.text(), c.dropped ? "Old known.met\n" : "");
    }
}

TEST_F(TransferGatewayTest, AKnownMetCutShortKeepsTheRecordsBeforeTheCut) {
    std::string path = theTransferOptions.getKnownPath().c_str();
    writeKnown(path, {{100, false}, {200, false}, {300, false}});
    std::string bytes = readText(path);
    writeText(path, bytes.substr(0, bytes.size() - 5));
    TransferGateway fresh;
    fresh.loadKnownList();
    EXPECT_EQ(fresh.knownList.getList()->count(), 2);
}

struct NoConnections : TCPDoor {
    explicit NoConnections(int port) : TCPDoor(port) {}
    Connection* createConnection(i4_socket*) override { return nullptr; }
};

TCPDoor* makeDoor(int port) {
    return new NoConnections(port);
}

class DoorTest : public TransferGatewayTest {
protected:
    void SetUp() override {
        TransferGatewayTest::SetUp();
        theProtocolHolder.setProxy(nullptr);
        theCoreOptions.setProxy(nullptr);
        pool.reset(new STSocketPool(nullptr));
        savedPool = theCore.socketPool;
        theCore.socketPool = pool.get();
        TransferGateway::setDoorMaker(makeDoor);
    }
    void TearDown() override {
        TransferGateway::setDoorMaker(nullptr);
        pool.reset();
        theCore.socketPool = savedPool;
        TransferGatewayTest::TearDown();
    }

    // The door started on a free port while a SOCKS5 proxy comes into force.
    void startBehindSocks() {
        theTransferOptions.setDoorPort(free_port());
        i4_proxy_settings socks;
        socks.type = I4_PROXY_SOCKS5;
        socks.port = 1080;
        gateway.startDoor(&socks, 500);
    }

    std::unique_ptr<STSocketPool> pool;
    STSocketPool* savedPool = nullptr;
};

TEST_F(DoorTest, TheDoorListensOnItsPortAndMovesWithIt) {
    int first = free_port(), second = free_port();
    theTransferOptions.setDoorPort(first);
    gateway.startDoor(nullptr, 500);
    ASSERT_TRUE(gateway.isDoorOpen());
    pool->processPending();
    EXPECT_TRUE(port_answers(first));

    gateway.setDoorPort(second);
    pool->processPending();
    EXPECT_TRUE(port_answers(second));
    EXPECT_FALSE(port_answers(first));
    EXPECT_EQ(network.portChanges, 1);
    TCPDoor* current = gateway.getDoor();
    gateway.setDoorPort(second);
    EXPECT_EQ(gateway.getDoor(), current);
    EXPECT_EQ(network.portChanges, 1);
    EXPECT_EQ(events.events().size(), 0u);
}

TEST_F(DoorTest, ADoorThatCannotListenIsReportedOnceAndKept) {
    int port = 0;
    int busy = listen_loopback(1, &port);
    ASSERT_GE(busy, 0);
    theTransferOptions.setDoorPort(port);
    gateway.startDoor(nullptr, 500);
    gateway.startDoor(nullptr, 500);
    EXPECT_NE(gateway.getDoor(), nullptr);
    EXPECT_FALSE(gateway.isDoorOpen());
    EXPECT_EQ(events.events(), std::vector<std::string>{"door error"});
    close(busy);
}

TEST_F(DoorTest, AProxyComingIntoForceOpensNoDoor) {
    startBehindSocks();
    EXPECT_EQ(gateway.getDoor(), nullptr);
    // Back to a direct connection: the door opens.
    gateway.startDoor(nullptr, 500);
    EXPECT_TRUE(gateway.isDoorOpen());
}

TEST_F(DoorTest, APortChangeKeepsTheProxyInForce) {
    startBehindSocks();
    gateway.setDoorPort(free_port());
    ASSERT_NE(theProxySettings, nullptr);
    EXPECT_EQ(theProxySettings->type, (uint32_t)I4_PROXY_SOCKS5);
    EXPECT_EQ(theProtocolHolder.get()->proxy_type(), (uint32_t)I4_PROXY_SOCKS5);
    gateway.startDoor(nullptr, 500);
}

}  // namespace
