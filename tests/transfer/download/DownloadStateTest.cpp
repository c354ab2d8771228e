#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "../DownloadTestSupport.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "meta/FileParts.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/DownloadState.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/download/PartialFile.h"
#include "util/BoolArray.h"

namespace {

std::string statusText(Download* d) {
    const char* t = theXMLStringTable.get(d->getStatus());
    return t ? t : "";
}

// A download brought into one of its states, in a directory of its own.
class StateFixture {
public:
    // The gate open, as a new pool has it.
    StateFixture() { theDLPool.run(500); }
    ~StateFixture() {
        if (d) d->release();
    }
    Download* make(const std::string& state) {
        FileMeta record;
        record.setName("state.bin");
        record.setFileSize(1000000);
        uint8_t hash[16] = {1, 2, 3};
        record.setFileHash(hash);
        bool oneFile = state == "errorloading";
        theCoreOptions.partstyle = oneFile;
        d = new Download();
        d->addRef();
        EXPECT_TRUE(d->startNew(&record));
        theCoreOptions.partstyle = false;
        if (state == "downloading") d->tick(10);
        if (state == "highest") d->setHighest();
        if (state == "paused") d->pause();
        if (state == "diskfull") d->diskFull();
        if (state == "done") d->cancel();
        if (state == "hashing" || state == "pausedhashing" || state == "errorloading") {
            if (state == "pausedhashing") d->pause();
            std::string path = d->getPartialFile()->metPath().c_str();
            bool perPart = !oneFile;
            d->shutdown();
            d->release();
            if (oneFile) remove((dirs.temp + "/1.part").c_str());
            FileMeta stored;
            EXPECT_NE(0, PartMetFile::read(path.c_str(), stored));
            d = new Download();
            d->addRef();
            d->load(&stored, perPart ? 1 : 0);
        }
        log.drain();
        return d;
    }
    // A new download of the content under the name, downloading.
    Download* fetch(const std::vector<uint8_t>& content, const char* name) {
        std::unique_ptr<FileMeta> record(recordOf(content, name, dirs.root.path));
        d = new Download();
        d->addRef();
        EXPECT_TRUE(d->startNew(record.get()));
        d->tick(10);
        return d;
    }
    TransferDirs dirs;
    QueueLog log;
    HeldWork work;
    Download* d = nullptr;
};

// Each row: a download in a state, one event, the status text and the
// messages it posted, in order.
TEST(DownloadState, TransitionTable) {
    struct Row {
        const char* from;
        const char* event;
        const char* text;
        std::vector<int> messages;
    } rows[] = {
        {"queued", "tick", "Looking...", {}},
        {"queued", "pause", "Paused", {}},
        {"queued", "resume", "Queued", {}},
        {"queued", "diskFull", "Insufficient Disk Space.", {}},
        {"queued", "cancel", "Done", {11}},
        {"queued", "setHighest", "Looking...", {}},
        {"downloading", "tick", "Looking...", {}},
        {"downloading", "pause", "Paused", {23}},
        {"downloading", "diskFull", "Insufficient Disk Space.", {}},
        {"downloading", "cancel", "Done", {11}},
        {"highest", "pause", "Paused", {34, 23}},
        {"highest", "diskFull", "Insufficient Disk Space.", {34}},
        {"highest", "cancel", "Done", {11, 34}},
        {"paused", "resume", "Queued", {23}},
        {"paused", "tick", "Paused", {}},
        {"paused", "diskFull", "Paused", {}},
        {"paused", "setHighest", "Paused", {}},
        {"paused", "cancel", "Done", {11}},
        {"diskfull", "spaceAvailable", "Queued", {}},
        {"diskfull", "pause", "Paused", {}},
        {"diskfull", "tick", "Insufficient Disk Space.", {}},
        {"diskfull", "setHighest", "Insufficient Disk Space.", {}},
        {"hashing", "cancel", "Hashing...", {}},
        {"hashing", "hashDone", "Queued", {23}},
        {"hashing", "setHighest", "Hashing...", {}},
        {"pausedhashing", "hashDone", "Paused", {}},
        {"pausedhashing", "cancel", "Hashing...", {}},
        {"errorloading", "tick", "Error loading.", {}},
        {"errorloading", "setHighest", "Error loading.", {}},
        {"errorloading", "cancel", "Done", {11}},
        {"done", "cancel", "Done", {}},
        {"done", "setHighest", "Done", {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.from) + " + " + r.event);
        CapturedUI ui;
        StateFixture f;
        Download* d = f.make(r.from);
        std::string event = r.event;
        if (event == "tick") d->tick(100);
        if (event == "pause") d->pause();
        if (event == "resume") d->resume();
        if (event == "diskFull") d->diskFull();
        if (event == "spaceAvailable") d->spaceAvailable();
        if (event == "cancel") d->cancel();
        if (event == "setHighest") d->setHighest();
        if (event == "hashDone") f.work.runChecks();
        EXPECT_EQ(r.text, statusText(d));
        EXPECT_EQ(r.messages, f.log.drain());
        if (std::string(r.from).find("hashing") != std::string::npos && event == "cancel") {
            EXPECT_EQ("Can't cancel while hashing.\n", ui.text());
        }
    }
}

TEST(DownloadState, HighestHoldsPriorityThreeAndGivesItBack) {
    CapturedUI ui;
    StateFixture f;
    Download* d = f.make("queued");
    EXPECT_EQ(Download::PRIORITY_NORMAL, d->getPriority());
    EXPECT_TRUE(d->setHighest());
    EXPECT_EQ(Download::PRIORITY_HIGHEST, d->getPriority());
    d->giveUpHighest();
    EXPECT_EQ(Download::PRIORITY_HIGH, d->getPriority());
    EXPECT_EQ("Looking...", statusText(d));
    EXPECT_EQ((std::vector<int>{34}), f.log.drain());
    // A paused download keeps its state when another one becomes the highest.
    d->pause();
    d->setPriority(Download::PRIORITY_HIGHEST);
    d->giveUpHighest();
    EXPECT_EQ("Paused", statusText(d));
    EXPECT_EQ(Download::PRIORITY_HIGH, d->getPriority());
}

TEST(DownloadState, CancelledFilesAreGone) {
    CapturedUI ui;
    StateFixture f;
    Download* d = f.make("queued");
    std::string dir = d->getPartialFile()->tempDir().c_str();
    EXPECT_TRUE(fileExists(dir + "1.part.met"));
    d->cancel();
    EXPECT_FALSE(fileExists(dir + "1.part.met"));
    struct stat st;
    EXPECT_NE(0, stat(dir.c_str(), &st));
}

// A loaded download whose data is complete finishes after its check, and the
// completion's verdict becomes its state.
TEST(DownloadState, CompleteDataFinishesAfterTheCheck) {
    CapturedUI ui;
    StateFixture f;
    std::vector<uint8_t> content = randomBytes(600000, 31);
    std::unique_ptr<FileMeta> record(recordOf(content, "whole.bin", f.dirs.root.path));
    Download* d = new Download();
    d->addRef();
    ASSERT_TRUE(d->startNew(record.get()));
    d->getPartialFile()->writeBlock(content.data(), 100, 0, 100);
    std::string path = d->getPartialFile()->metPath().c_str();
    std::string dir = d->getPartialFile()->tempDir().c_str();
    d->shutdown();
    d->release();
    // The rest arrived before the crash that lost its record's update.
    FILE* part = fopen((dir + "1.1.part").c_str(), "r+b");
    ASSERT_NE(nullptr, part);
    fwrite(content.data(), 1, content.size(), part);
    fclose(part);
    FileMeta stored;
    ASSERT_EQ(PartialFile::VERSION_PARTS, PartMetFile::read(path.c_str(), stored));
    f.d = new Download();
    f.d->addRef();
    f.d->load(&stored, 1);
    EXPECT_EQ("Hashing...", statusText(f.d));
    f.d->getPartialFile()->writeBlock(content.data() + 100, (uint32_t)content.size() - 100, 100,
                                      (uint32_t)content.size());
    f.work.runChecks();
    EXPECT_EQ("Completing", statusText(f.d));
    f.work.runCompletions();
    EXPECT_EQ("Complete", statusText(f.d));
    // Shared as a partial file once checked, then as the finished file (18,
    // and 17 for the servers to publish each), then ended (11).
    EXPECT_EQ((std::vector<int>{18, 17, 18, 17, 11}), f.log.drain());
    EXPECT_TRUE(fileExists(f.dirs.incoming + "/whole.bin"));
}

// The record says the file is whole before the join starts: a crash in the
// join must not make the restart fetch the last blocks again.
TEST(DownloadState, TheRecordListsNoGapOnceTheLastBlockArrived) {
    CapturedUI ui;
    StateFixture f;
    std::vector<uint8_t> content = randomBytes(700000, 32);
    f.fetch(content, "last.bin");
    std::string path = f.d->getPartialFile()->metPath().c_str();
    f.d->gotData(0, (uint32_t)content.size(), content.data(), nullptr);
    EXPECT_EQ("Completing", statusText(f.d));
    FileMeta stored;
    ASSERT_EQ(PartialFile::VERSION_PARTS, PartMetFile::read(path.c_str(), stored));
    PartialFile reader;
    EXPECT_EQ(0, reader.readGaps(&stored, false));
    f.work.runCompletions();
    EXPECT_EQ("Complete", statusText(f.d));
}

// Killed after the finished file went into incoming and before its record
// went: the restart ends the download as complete. Without that file the
// download is loaded and fetched again.
TEST(DownloadState, ARecordLeftBehindByAMovedFileEndsTheDownload) {
    for (bool moved : {true, false}) {
        SCOPED_TRACE(moved ? "moved" : "gone");
        CapturedUI ui;
        StateFixture f;
        std::vector<uint8_t> content = randomBytes(700000, 34);
        f.fetch(content, "moved.bin");
        std::string path = f.d->getPartialFile()->metPath().c_str();
        std::string dir = f.d->getPartialFile()->tempDir().c_str();
        f.d->gotData(0, (uint32_t)content.size(), content.data(), nullptr);
        ASSERT_EQ("Completing", statusText(f.d));
        std::string joined = dir + "1.1.part";
        if (moved)
            ASSERT_EQ(0, rename(joined.c_str(), (f.dirs.incoming + "/moved.bin").c_str()));
        else
            ASSERT_EQ(0, unlink(joined.c_str()));
        FileMeta stored;
        ASSERT_EQ(PartialFile::VERSION_PARTS, PartMetFile::read(path.c_str(), stored));
        f.log.drain();
        Download* again = new Download();
        again->addRef();
        again->load(&stored, 1);
        std::vector<int> posted = f.log.drain();
        bool ended = std::find(posted.begin(), posted.end(), (int)MSG_END_DOWNLOAD) != posted.end();
        if (moved) {
            EXPECT_EQ("Complete", statusText(again));
            EXPECT_TRUE(ended);
            EXPECT_FALSE(fileExists(path));
            EXPECT_TRUE(f.work.checks.empty());
        } else {
            EXPECT_EQ("Hashing...", statusText(again));
            EXPECT_FALSE(ended);
            EXPECT_EQ((uint64_t)content.size(),
                      again->getPartialFile()->bytesIn(0, (uint32_t)content.size()));
        }
        again->release();
    }
}

// A disk that takes no more bytes.
class FullDisk : public i4_file {
public:
    int32_t read(void*, int32_t) override { return -1; }
    int32_t write(const void*, int32_t) override { return -1; }
    int64_t seek(int64_t pos) override { return pos; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }
};

bool gapListed(Download* d, uint32_t start, uint32_t end) {
    int crumb = (int)FileParts::crumbOf(start);
    for (const Gap& g : d->getProgress().crumbGaps(crumb))
        if (g.start <= start && end <= g.end) return true;
    return false;
}

// Peer data and a web source's data take one way to the disk: a block the
// disk refuses is asked for again later, the download waits for room as with
// a full disk, and once there is room it goes on to the end.
TEST(DownloadState, ARefusedWriteWaitsForRoomAndHandsTheRangeOutAgain) {
    for (bool fromPeer : {true, false}) {
        SCOPED_TRACE(fromPeer ? "peer data" : "web source data");
        CapturedUI ui;
        StateFixture f;
        std::vector<uint8_t> content = randomBytes(700000, 33);
        f.fetch(content, "room.bin");
        BoolArray all((uint32_t)f.d->crumbCount());
        all.fill(1);
        uint32_t start = 0, end = 0;
        ASSERT_TRUE(f.d->getProgress().nextRange(&all, start, end, 100000));
        ASSERT_FALSE(gapListed(f.d, start, end));
        i4_set_open_hooks([](const char*, int) -> i4_file* { return new FullDisk(); }, nullptr);
        if (fromPeer)
            f.d->gotData(start, end, content.data() + start, nullptr);
        else
            EXPECT_FALSE(f.d->writeData(content.data() + start, start, end));
        i4_set_open_hooks(nullptr, nullptr);
        EXPECT_EQ("Insufficient Disk Space.", statusText(f.d));
        EXPECT_NE(std::string::npos, ui.text().find("room.bin: Insufficient Disk Space."));
        EXPECT_TRUE(f.d->getPartialFile()->overlaps(start, end));
        EXPECT_EQ(0, f.d->getPartialFile()->getTransferred());
        EXPECT_TRUE(gapListed(f.d, start, end)) << "handed out again";
        // Data that still arrives waits too.
        f.d->gotData(start, end, content.data() + start, nullptr);
        EXPECT_TRUE(f.d->getPartialFile()->overlaps(start, end));
        f.d->getPartialFile()->close();
        f.d->spaceAvailable();
        f.d->tick(10);
        EXPECT_EQ("Looking...", statusText(f.d));
        if (fromPeer)
            f.d->gotData(0, (uint32_t)content.size(), content.data(), nullptr);
        else
            EXPECT_FALSE(f.d->writeData(content.data(), 0, (uint32_t)content.size()));
        EXPECT_EQ("Completing", statusText(f.d));
        f.work.runCompletions();
        EXPECT_EQ("Complete", statusText(f.d));
    }
}

}  // namespace
