// The remote control's download side: the downloads listed at the login and as they change,
// the commands on a download named by its hash, its part map and the status reports.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ControllerTestSupport.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "meta/FileParts.h"
#include "transfer/DownloadTestSupport.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/upload/UploadPool.h"

using namespace remotetest;

namespace {

const uint32_t kCrumb = (uint32_t)FileParts::CRUMB_SIZE;

struct MapRun {
    uint32_t start, end;
    uint16_t weight;
    bool operator==(const MapRun& o) const {
        return start == o.start && end == o.end && weight == o.weight;
    }
};

// The handle and runs of a 174 payload; the payload is read to its end.
std::vector<MapRun> runsOf(const std::string& body, uint32_t* handle) {
    Fields f(body);
    *handle = f.u32();
    std::vector<MapRun> runs(f.u16());
    for (MapRun& r : runs) {
        r.start = f.u32();
        r.end = f.u32();
        r.weight = f.u16();
    }
    EXPECT_EQ(0u, f.left());
    return runs;
}

std::string payloadOf(TCPPacket* p) {
    std::string frame((const char*)p->bytes(), (size_t)p->getSize());
    delete p;
    EXPECT_EQ('\xe3', frame[0]);
    EXPECT_EQ(GUIController::OUT_PART_MAP, (uint8_t)frame[5]);
    return frame.substr(6);
}

TEST(GUIControllerPartMap, RunsOfEqualWeightCoverTheFile) {
    const uint32_t size = 4 * kCrumb + 100;
    const struct Case {
        const char* what;
        std::vector<int> weights;
        std::vector<MapRun> runs;
    } cases[] = {
        {"no crumbs", {}, {{0, size, 0}}},
        {"one weight", {2, 2, 2, 2, 2}, {{0, size, 2}}},
        {"done shows 0xFFFF",
         {-1, 0, 0, 3, 3},
         {{0, kCrumb, 0xFFFF}, {kCrumb, 3 * kCrumb, 0}, {3 * kCrumb, size, 3}}},
        {"last crumb alone", {1, 1, 1, 1, 5}, {{0, 4 * kCrumb, 1}, {4 * kCrumb, size, 5}}},
    };
    for (const Case& c : cases) {
        uint32_t handle = 0;
        std::vector<MapRun> runs =
            runsOf(payloadOf(GUIController::partMapPacket(7, c.weights, size)), &handle);
        EXPECT_EQ(7u, handle) << c.what;
        EXPECT_EQ(c.runs, runs) << c.what;
    }
}

// The remote UI stands for the transfer events too, and the pool's downloads are the
// console's list.
class ControllerDownloadsTest : public RemoteFixture {
protected:
    ControllerDownloadsTest() : savedTransfer(theTransferUI) {
        theTransferUI = &ui;
        console.downloads = &theDLPool.getDownloads();
        theDLPool.run(500);
        for (int id :
             {MSG_END_DOWNLOAD, MSG_CANCEL_DOWNLOAD, MSG_CHECK_DISK_SPACE, MSG_RERANK_DOWNLOADS})
            theMessageQ.setHandler(&theTransferHandler, id);
    }
    ~ControllerDownloadsTest() override {
        theDLPool.removeAll();
        dirs.posted.drain();
        theTransferUI = savedTransfer;
    }
    Download* start(const char* name, uint32_t size, uint8_t hashByte) {
        FileMeta record;
        record.setName(name);
        record.setFileSize(size);
        uint8_t hash[16] = {hashByte, 7};
        record.setFileHash(hash);
        theDLPool.startDownload(&record);
        Download* d = theDLPool.findByHash(hash);
        if (d) d->release();
        return d;
    }
    static std::string hashOf(Download* d) { return std::string((const char*)d->getFileId(), 16); }
    // The handle at the end of a 188 payload.
    static uint32_t handleOf(const std::string& body) {
        Fields f(body.substr(body.size() - 4));
        return f.u32();
    }
    // Sends the frame, then asks for the options; true once they are back (all before them
    // was handled).
    bool sendAndSettle(ControllerEnd& end, uint8_t op, const std::string& payload = "") {
        end.send(op, payload);
        end.send(GUIController::IN_OPTIONS);
        return await(end, GUIController::OUT_OPTIONS);
    }

    TransferUI* savedTransfer;
    TransferDirs dirs;
    HeldWork work;
};

TEST_F(ControllerDownloadsTest, TheLoginListsEveryDownloadAndTheirChangesFollow) {
    Download* first = start("one.bin", 3 * kCrumb, 1);
    Download* second = start("two.bin", 1000, 2);
    ASSERT_TRUE(first && second);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    // Then one 201 per upload slot.
    const size_t slots = (size_t)theUploadPool.slotCount();
    ASSERT_TRUE(pump([&] {
        end.frames();
        return end.got.size() >= 3 + slots;
    }));
    std::vector<uint8_t> initial = {GUIController::OUT_OPTIONS, GUIController::OUT_DOWNLOAD,
                                    GUIController::OUT_DOWNLOAD};
    initial.insert(initial.end(), slots, GUIController::OUT_SLOT);
    ASSERT_EQ(initial, end.opcodes());
    for (size_t i = 3; i < 3 + slots; i++) {
        // An idle slot: its handle, no file name, an empty peer record, a zero hash.
        const std::string& slot = end.got[i].body;
        ASSERT_GT(slot.size(), 4u + 2u + 16u);
        EXPECT_NE(0u, handleOf(slot.substr(0, 4)));
        EXPECT_EQ(std::string(2, '\0'), slot.substr(4, 2));
        EXPECT_EQ(std::string(16, '\0'), slot.substr(slot.size() - 16));
    }
    const std::string one = end.got[1].body;
    const std::string two = end.got[2].body;
    ASSERT_GT(one.size(), 40u);
    ASSERT_GT(two.size(), 40u);
    EXPECT_EQ(hashOf(first), one.substr(0, 16));
    EXPECT_EQ(hashOf(second), two.substr(0, 16));
    EXPECT_NE(0u, handleOf(one));
    EXPECT_NE(handleOf(one), handleOf(two));
    // Priority and the partial file's path come before the handle.
    std::string path = first->getPartialFile()->getMeta()->getPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path, one.substr(one.size() - 4 - path.size(), path.size()));
    EXPECT_EQ((char)first->getPriority(), one[one.size() - 4 - path.size() - 3]);

    // A cancel: the download goes, and the controller hears of it by its hash.
    std::string gone;
    end.send(GUIController::IN_CANCEL, hashOf(first));
    ASSERT_TRUE(pump([&] {
        dirs.posted.drain();
        end.frames();
        for (const Frame& f : end.got)
            if (f.op == GUIController::OUT_DOWNLOAD_REMOVED) gone = f.body;
        return !gone.empty();
    }));
    Download* left = theDLPool.downloadAt(0);
    ASSERT_NE(nullptr, left);
    EXPECT_EQ(hashOf(second), hashOf(left));
    left->release();
    EXPECT_EQ(1, theDLPool.count());
    EXPECT_EQ(gone, std::string((const char*)"\x01\x07", 2) + std::string(14, '\0'));

    // A new download reaches the controller as it starts, with a handle of its own.
    Download* third = start("three.bin", 2000, 3);
    ASSERT_TRUE(third);
    std::string news;
    ASSERT_TRUE(await(end, GUIController::OUT_DOWNLOAD, &news));
    EXPECT_EQ(hashOf(third), news.substr(0, 16));
    EXPECT_NE(handleOf(two), handleOf(news));
}

TEST_F(ControllerDownloadsTest, CommandsActOnTheNamedDownloadOnly) {
    // The first download is the highest; the one commanded here is not.
    Download* other = start("two.bin", 1000, 2);
    Download* d = start("one.bin", 3 * kCrumb, 1);
    ASSERT_TRUE(d && other);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    const std::string unknown(16, '\x55');
    const int same = -1;
    const struct Step {
        const char* what;
        uint8_t op;
        std::string payload;
        bool paused;
        int priority;  // same: as before the step (a rerank may move it)
    } steps[] = {
        {"pause", GUIController::IN_PAUSE, hashOf(d), true, same},
        {"resume another", GUIController::IN_RESUME, unknown, true, same},
        {"resume", GUIController::IN_RESUME, hashOf(d), false, same},
        {"priority 0", GUIController::IN_PRIORITY, hashOf(d) + '\x00', false, 0},
        {"priority 4 is none", GUIController::IN_PRIORITY, hashOf(d) + '\x04', false, 0},
        {"another's priority", GUIController::IN_PRIORITY, unknown + '\x02', false, 0},
        {"a short hash", GUIController::IN_PAUSE, hashOf(d).substr(0, 15), false, 0},
    };
    for (const Step& s : steps) {
        int before = d->getPriority();
        bool otherPaused = other->isPaused();
        if (s.payload.size() < 16) {
            // A packet shorter than its fields drops the connection, and touches nothing.
            end.send(s.op, s.payload);
            EXPECT_TRUE(awaitClose(end)) << s.what;
        } else {
            ASSERT_TRUE(sendAndSettle(end, s.op, s.payload)) << s.what;
        }
        EXPECT_EQ(s.paused, d->isPaused()) << s.what;
        EXPECT_EQ(s.priority == same ? before : s.priority, d->getPriority()) << s.what;
        EXPECT_EQ(otherPaused, other->isPaused()) << s.what;
    }
}

// A frame that ends after the hash is refused; the download it named is not held by it, or
// the download could never be freed.
TEST_F(ControllerDownloadsTest, AFrameCutShortAfterItsHashHoldsNoReference) {
    Download* d = start("one.bin", 3 * kCrumb, 1);
    ASSERT_TRUE(d);
    const int before = d->refCount();
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    end.send(GUIController::IN_PRIORITY, hashOf(d));
    ASSERT_TRUE(awaitClose(end));
    EXPECT_EQ(before, d->refCount());
}

TEST_F(ControllerDownloadsTest, APartMapNamesTheDownloadsHandleAndCoversTheFile) {
    const uint32_t size = 3 * kCrumb + 10;
    Download* d = start("one.bin", size, 1);
    ASSERT_TRUE(d);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    std::string listed, map;
    ASSERT_TRUE(pump([&] {
        end.frames();
        for (const Frame& f : end.got)
            if (f.op == GUIController::OUT_DOWNLOAD) listed = f.body;
        return !listed.empty();
    }));
    end.send(GUIController::IN_PART_MAP, hashOf(d));
    ASSERT_TRUE(await(end, GUIController::OUT_PART_MAP, &map));
    uint32_t handle = 0;
    EXPECT_EQ(std::vector<MapRun>({{0, size, 0}}), runsOf(map, &handle));
    EXPECT_EQ(handleOf(listed), handle);
    // An unknown file gets no answer.
    end.send(GUIController::IN_PART_MAP, std::string(16, '\x55'));
    ASSERT_TRUE(sendAndSettle(end, GUIController::IN_OPTIONS));
    int maps = 0;
    for (const Frame& f : end.got) maps += f.op == GUIController::OUT_PART_MAP;
    EXPECT_EQ(1, maps);
}

TEST_F(ControllerDownloadsTest, AReportListsUploadsFirstThenEveryDownload) {
    i4_test_clock clock;
    Download* first = start("one.bin", 3 * kCrumb, 1);
    Download* second = start("two.bin", 1000, 2);
    ASSERT_TRUE(first && second);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    ASSERT_TRUE(sendAndSettle(end, GUIController::IN_DOWNLOAD_STATUS_ON));
    ASSERT_TRUE(sendAndSettle(end, GUIController::IN_UPLOAD_STATUS_ON));
    std::vector<uint32_t> listed;
    for (const Frame& f : end.got)
        if (f.op == GUIController::OUT_DOWNLOAD) listed.push_back(handleOf(f.body));
    ASSERT_EQ(2u, listed.size());
    size_t before = end.got.size();
    tasks.runPass();
    clock.step_ms(GUIController::STATUS_INTERVAL_MS + 1);
    tasks.runPass();
    ASSERT_TRUE(pump([&] {
        end.frames();
        return end.got.size() >= before + 2;
    }));
    ASSERT_EQ(GUIController::OUT_UPLOAD_STATUS, end.got[before].op);
    ASSERT_EQ(GUIController::OUT_DOWNLOAD_STATUS, end.got[before + 1].op);
    Fields f(end.got[before + 1].body);
    ASSERT_EQ(2, f.u16());
    for (uint32_t handle : listed) {
        EXPECT_EQ(handle, f.u32());
        EXPECT_NE(0, f.u8()) << "a download at rest has a status";
        EXPECT_EQ(0.0f, f.f32());
        EXPECT_EQ(0u, f.u32());
        EXPECT_EQ(0, f.u8()) << "no source has anything";
        EXPECT_EQ(0, f.u8()) << "no sources";
    }
    EXPECT_EQ(0u, f.left());
}

}  // namespace
