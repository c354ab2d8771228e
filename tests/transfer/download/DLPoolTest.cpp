#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "../DownloadTestSupport.h"
#include "core/CoreOptions.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/DLS_Done.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferHandler.h"

namespace {

std::string statusText(Download* d) {
    const char* t = theXMLStringTable.get(d->getStatus());
    return t ? t : "";
}

FileMeta fileRecord(const char* name, uint32_t size, uint8_t hashByte) {
    FileMeta record;
    record.setName(name);
    record.setFileSize(size);
    uint8_t hash[16] = {hashByte, 7};
    record.setFileHash(hash);
    return record;
}

// A pool of its own, emptied (and every record saved) at the end.
struct PoolFixture {
    PoolFixture() {
        pool.setFreeSpace([this](const char*) { return free; });
        theDLPool.run(500);
    }
    ~PoolFixture() {
        pool.removeAll();
        log.drain();
    }
    // The new download, or null; the pool keeps the reference.
    Download* start(const char* name, uint32_t size, uint8_t hashByte) {
        FileMeta record = fileRecord(name, size, hashByte);
        pool.startDownload(&record);
        Download* d = pool.findByHash(record.getFileHash());
        if (d) d->release();
        return d;
    }
    CapturedUI ui;
    TransferDirs dirs;
    QueueLog log;
    HeldWork work;
    DLPool pool;
    int64_t free = 1ll << 40;
};

TEST(DLPool, GateTable) {
    struct Row {
        double maxDownload, lineDown, maxDownSpeed, rate;
        int transferring;
        int msSinceConnect;
        bool open;
    } rows[] = {
        // Limit 20 (the larger learned speed): spare 1.5 < 2.0 closes, 3.0 opens.
        {0, 10.0, 20.0, 18.5, 2, 1000, false},
        {0, 10.0, 20.0, 17.0, 2, 1000, true},
        // One transfer at most: open whatever the rate.
        {0, 10.0, 20.0, 30.0, 1, 1000, true},
        {0, 10.0, 20.0, 30.0, 0, 1000, true},
        // ... except within 500 ms of a connection attempt.
        {0, 10.0, 20.0, 0.0, 0, 499, false},
        {0, 10.0, 20.0, 0.0, 0, 500, true},
        // A user limit wins; the spare is at least 0.5.
        {4.0, 10.0, 20.0, 3.6, 2, 1000, false},
        {4.0, 10.0, 20.0, 3.5, 2, 1000, true},
    };
    double savedDown = theCoreOptions.getMaxDownload(), savedUp = theCoreOptions.getMaxUpload();
    double savedLine = theCoreOptions.lineDown, savedSpeed = theCoreOptions.maxDownSpeed;
    for (const Row& r : rows) {
        DLPool pool;
        pool.setFreeSpace([](const char*) { return (int64_t)1 << 40; });
        theCoreOptions.setMaxUpload(0);
        theCoreOptions.setMaxDownload(r.maxDownload);
        theCoreOptions.lineDown = r.lineDown;
        theCoreOptions.maxDownSpeed = r.maxDownSpeed;
        for (int i = 0; i < r.transferring; i++) pool.transferStarted();
        pool.connectStarted();
        EXPECT_FALSE(pool.mayOpen());
        theCoreOptions.downRate = r.rate;
        pool.run(r.msSinceConnect);
        EXPECT_EQ(r.open, pool.mayOpen())
            << r.maxDownload << " " << r.rate << " " << r.transferring << " " << r.msSinceConnect;
    }
    theCoreOptions.setMaxDownload(savedDown);
    theCoreOptions.setMaxUpload(savedUp);
    theCoreOptions.lineDown = savedLine;
    theCoreOptions.maxDownSpeed = savedSpeed;
    theCoreOptions.downRate = 0;
}

TEST(DLPool, TheFirstPassChecksTheSpace) {
    int asked = 0;
    DLPool pool;
    pool.setFreeSpace([&asked](const char*) {
        asked++;
        return (int64_t)1 << 40;
    });
    pool.run(1);
    EXPECT_EQ(2, asked) << "temp and incoming";
    pool.run(59999);
    EXPECT_EQ(2, asked);
    pool.run(1);
    EXPECT_EQ(4, asked);
}

// The space is checked once a minute, and after each start.
TEST(DLPool, DiskFullAndBackOnTheMinute) {
    PoolFixture f;
    Download* d = f.start("a.bin", 1000, 1);
    ASSERT_NE(nullptr, d);
    f.free = 50 * 1024 * 1024;  // below the 100 MiB reserve
    f.pool.run(60000);
    EXPECT_EQ("Insufficient Disk Space.", statusText(d));
    f.free = 1ll << 40;
    f.pool.run(59999);
    EXPECT_EQ("Insufficient Disk Space.", statusText(d));
    f.pool.run(1);
    EXPECT_NE("Insufficient Disk Space.", statusText(d));
    // The reserve itself counts as full.
    f.free = (int64_t)theTransferOptions.resHD;
    f.pool.checkSpace();
    EXPECT_EQ("Insufficient Disk Space.", statusText(d));
}

TEST(DLPool, StartsAreRefusedForFilesAlreadyHereOrComing) {
    FileMeta* mine = new FileMeta(fileRecord("two.bin", 1000, 2));
    theTransferGateway.sharedList.add(mine);
    {
        PoolFixture f;
        int checks = 0;
        f.pool.setFreeSpace([&checks](const char*) {
            checks++;
            return (int64_t)1 << 40;
        });
        ASSERT_NE(nullptr, f.start("one.bin", 1000, 1));
        EXPECT_EQ(2, checks) << "temp and incoming asked once";
        f.start("one again.bin", 1000, 1);
        f.start("two.bin", 1000, 2);
        EXPECT_EQ(1, f.pool.count());
        EXPECT_EQ(2, checks) << "no space check after a refusal";
        EXPECT_EQ(
            "Downloading: one.bin\nYou are already downloading one again.bin.\nYou already have "
            "two.bin.\n",
            f.ui.text());
    }
    theTransferGateway.sharedList.deleteAll();
}

// Only the highest state gives way when another download is chosen; paused,
// checking or waiting downloads keep their states.
TEST(DLPool, RerankMovesOnlyTheHighest) {
    PoolFixture f;
    Download* a = f.start("a.bin", 1000, 1);
    Download* b = f.start("b.bin", 1000, 2);
    Download* c = f.start("c.bin", 1000, 3);
    EXPECT_EQ(Download::PRIORITY_HIGHEST, a->getPriority()) << "the first is the highest";
    b->pause();
    f.pool.setPriority(b, Download::PRIORITY_HIGHEST);
    // b is paused and cannot be the highest: a stays it, b keeps its pause.
    EXPECT_EQ("Paused", statusText(b));
    EXPECT_EQ(Download::PRIORITY_HIGH, b->getPriority());
    EXPECT_EQ(Download::PRIORITY_HIGHEST, a->getPriority());
    c->diskFull();
    f.pool.setPriority(c, Download::PRIORITY_HIGHEST);
    EXPECT_EQ("Insufficient Disk Space.", statusText(c));
    EXPECT_EQ(Download::PRIORITY_HIGHEST, a->getPriority());
    // a gives way to a queued download given priority 3.
    Download* d = f.start("d.bin", 1000, 4);
    EXPECT_EQ(Download::PRIORITY_NORMAL, d->getPriority());
    f.pool.setPriority(d, Download::PRIORITY_HIGHEST);
    EXPECT_EQ(Download::PRIORITY_HIGHEST, d->getPriority());
    EXPECT_EQ("Looking...", statusText(d));
    EXPECT_EQ(Download::PRIORITY_HIGH, a->getPriority());
    EXPECT_EQ("Looking...", statusText(a));
    EXPECT_EQ("Paused", statusText(b));
    EXPECT_EQ((std::vector<int>{34}), f.log.drain()) << "a's highest state ended";
}

// A cancel queued behind the end of a completion meets a download that its
// message keeps alive, and does nothing to it.
TEST(DLPool, ACancelBehindACompletionTouchesNoFreedDownload) {
    CapturedUI ui;
    TransferDirs dirs;
    HeldWork work;
    QueueLog log;
    for (int id :
         {MSG_END_DOWNLOAD, MSG_CANCEL_DOWNLOAD, MSG_CHECK_DISK_SPACE, MSG_RERANK_DOWNLOADS})
        theMessageQ.setHandler(&theTransferHandler, id);
    std::vector<uint8_t> content = randomBytes(5000, 41);
    std::unique_ptr<FileMeta> record(recordOf(content, "late.bin", dirs.root.path));
    theDLPool.startDownload(record.get());
    ASSERT_EQ(1, theDLPool.count());
    Download* d = theDLPool.downloadAt(0);
    d->lock();
    d->writeData(content.data(), 0, (uint32_t)content.size());
    d->unlock();
    EXPECT_EQ("Completing", statusText(d));
    work.runCompletions();  // posts 11
    d->post(MSG_CANCEL_DOWNLOAD);
    d->release();  // the test's own reference: the messages hold theirs
    log.drain();
    EXPECT_EQ(0, theDLPool.count());
    EXPECT_TRUE(fileExists(dirs.incoming + "/late.bin")) << "the cancel deleted nothing";
}

TEST(DLPool, LoadsEveryKindOfRecordOnceAndSkipsTheRest) {
    PoolFixture f;
    // One data file with its record; one file per part in its directory.
    theCoreOptions.partstyle = true;
    f.start("single.bin", 1000, 1);
    theCoreOptions.partstyle = false;
    f.start("parts.bin", 1000, 2);
    // One file per part left loose in the temporary directory, the earlier layout.
    Download* loose = f.start("loose.bin", 600000, 3);
    std::vector<uint8_t> bytes(600000, 5);
    loose->getPartialFile()->writeBlock(bytes.data(), 1000, 0, 1000);
    f.pool.removeAll();
    std::string looseDir = f.dirs.temp + "/loose.bin";
    rename((looseDir + "/1.part.met").c_str(), (f.dirs.temp + "/5.part.met").c_str());
    rename((looseDir + "/1.1.part").c_str(), (f.dirs.temp + "/5.1.part").c_str());
    rmdir(looseDir.c_str());
    mkdir(looseDir.c_str(), 0777);  // taken: the record moves to loose.bin1
    // A record that went missing with its copy left behind.
    theCoreOptions.partstyle = true;
    f.start("backup.bin", 1000, 4);
    theCoreOptions.partstyle = false;
    f.pool.removeAll();
    rename((f.dirs.temp + "/2.part.met").c_str(), (f.dirs.temp + "/2.part.met.bak").c_str());
    // And what is no record at all.
    writeText(f.dirs.temp + "/9.part.met", "garbage that is not a record");
    writeText(f.dirs.temp + "/10.part.met", "\xE0\x02");
    mkdir((f.dirs.temp + "/empty").c_str(), 0777);

    f.pool.loadDownloads(f.dirs.temp.c_str());
    std::vector<std::string> names;
    for (int i = 0; i < f.pool.count(); i++) {
        Download* d = f.pool.downloadAt(i);
        names.push_back(d->getFileName());
        EXPECT_EQ("Hashing...", statusText(d)) << d->getFileName();
        d->release();
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ((std::vector<std::string>{"backup.bin", "loose.bin", "parts.bin", "single.bin"}),
              names);
    EXPECT_TRUE(fileExists(f.dirs.temp + "/loose.bin1/5.part.met"));
    EXPECT_TRUE(fileExists(f.dirs.temp + "/loose.bin1/5.1.part"));
    f.work.runChecks();
    Download* moved = nullptr;
    for (int i = 0; i < f.pool.count(); i++) {
        Download* d = f.pool.downloadAt(i);
        if (std::string(d->getFileName()) == "loose.bin") moved = d;
        EXPECT_EQ("Queued", statusText(d)) << d->getFileName();
        d->release();
    }
    ASSERT_NE(nullptr, moved);
    EXPECT_EQ(1000, moved->getPartialFile()->getTransferred());
    EXPECT_FALSE(moved->getPartialFile()->overlaps(0, 1000)) << "the loose part's bytes came along";
}

TEST(DLPool, AnUnreadableDirectorySaysSo) {
    PoolFixture f;
    f.pool.loadDownloads((f.dirs.root / "missing").c_str());
    EXPECT_EQ("Couldn't load partials: " + (f.dirs.root / "missing") + "\n", f.ui.text());
}

// Paused downloads come back paused; priorities come back; the count of
// bytes kept reads back unsigned beyond 2 GiB.
TEST(DLPool, WhatASaveKeeps) {
    PoolFixture f;
    theCoreOptions.partstyle = true;
    Download* big = f.start("big.bin", 3500000000u, 1);
    theCoreOptions.partstyle = false;
    Download* paused = f.start("paused.bin", 1000, 2);
    paused->pause();
    f.pool.setPriority(big, Download::PRIORITY_LOW);
    std::string bigMet = big->getPartialFile()->metPath().c_str();
    f.pool.removeAll();
    FileMeta stored;
    ASSERT_EQ(PartialFile::VERSION_SINGLE, PartMetFile::read(bigMet.c_str(), stored));
    int32_t kept = (int32_t)3000000000u;
    stored.setSpecialTag(SpecialTagInfo::PART_TRANS, &kept);
    {
        i4_ram_file_class out(nullptr, 0, 4096);
        out.write_8(PartialFile::VERSION_SINGLE);
        stored.toBytes(out);
        writeText(bigMet, std::string((const char*)out.get_buffer(), (size_t)out.size()));
        i4_free(out.get_buffer());
    }
    f.pool.loadDownloads(f.dirs.temp.c_str());
    f.work.runChecks();
    ASSERT_EQ(2, f.pool.count());
    for (int i = 0; i < 2; i++) {
        Download* d = f.pool.downloadAt(i);
        std::string name = d->getFileName();
        if (name == "paused.bin") {
            EXPECT_EQ("Paused", statusText(d));
        } else {
            EXPECT_EQ(3000000000ll, d->getPartialFile()->getTransferred());
            d->tick(1);
            d->tick(2001);
            EXPECT_EQ(0, d->getSpeed()) << "no sample jumps by 2^32";
        }
        d->release();
    }
    double before = theCoreOptions.maxDownSpeed;
    f.pool.run(3000);
    EXPECT_EQ(before, theCoreOptions.maxDownSpeed);
}

TEST(DLPool, RecordsAreSavedEveryFiveMinutes) {
    PoolFixture f;
    Download* d = f.start("saved.bin", 1000, 1);
    std::string met = d->getPartialFile()->metPath().c_str();
    std::vector<uint8_t> bytes(1000, 3);
    d->getPartialFile()->writeBlock(bytes.data(), 100, 0, 100);
    auto transferredOnDisk = [&] {
        FileMeta stored;
        PartMetFile::read(met.c_str(), stored);
        return stored.getSpecialInt(SpecialTagInfo::PART_TRANS);
    };
    EXPECT_EQ(0, transferredOnDisk());
    f.pool.run(299999);
    EXPECT_EQ(0, transferredOnDisk());
    f.pool.run(1);
    EXPECT_EQ(100, transferredOnDisk());
}

}  // namespace
