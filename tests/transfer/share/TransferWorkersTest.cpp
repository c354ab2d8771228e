#include <algorithm>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "../DownloadTestSupport.h"
#include "../TransferTestSupport.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "meta/FileList.h"
#include "meta/SpecialTagInfo.h"
#include "support/ByteCompare.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/share/TransferWorkers.h"

namespace {

std::string statusText(Download* d) {
    const char* t = theXMLStringTable.get(d->getStatus());
    return t ? t : "";
}

// The workers of a private hashing thread, put in place of the client's for one test.
class TransferWorkersTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        dirs.reset(new TransferDirs(dir.path));
        mkdir((dir / "S").c_str(), 0777);
        saved = theDLPool.services().workers;
        theDLPool.services().workers = &workers;
    }
    void TearDown() override {
        workers.stop();
        for (Download* d : downloads) d->release();
        theDLPool.services().workers = saved;
        known.deleteAll();
        dirs.reset();
        TransferFixture::TearDown();
    }
    // n downloads saved and loaded again: each queues the check of its data.
    void load(int n) {
        for (int i = 0; i < n; i++) {
            FileMeta record;
            record.setName(("w" + std::to_string(i)).c_str());
            record.setFileSize(3 * 486400);
            uint8_t hash[16] = {(uint8_t)(i + 1)};
            record.setFileHash(hash);
            Download* d = new Download();
            d->addRef();
            ASSERT_TRUE(d->startNew(&record));
            std::string path = d->getPartialFile()->metPath().c_str();
            d->shutdown();
            d->release();
            FileMeta stored;
            ASSERT_NE(0, PartMetFile::read(path.c_str(), stored));
            d = new Download();
            d->addRef();
            d->load(&stored, 1);
            downloads.push_back(d);
        }
    }
    bool allQueued() {
        for (Download* d : downloads)
            if (statusText(d) != "Queued") return false;
        return true;
    }
    // Every id posted so far, in order.
    std::vector<int> ids() {
        std::vector<int> out;
        for (auto& p : posted.drain()) out.push_back(p.id);
        return out;
    }

    std::unique_ptr<TransferDirs> dirs;
    FileList known;
    ShareList shares;
    RecordingQueue posted;
    HashThread hashing{known, shares, posted.queue};
    TransferWorkers workers{hashing};
    DownloadWorkers* saved = nullptr;
    std::vector<Download*> downloads;
};

TEST_F(TransferWorkersTest, LoadedDownloadsAreCheckedThenThePassEnds) {
    load(2);
    ASSERT_TRUE(waitFor([&] { return hashing.getState() == Thread::NOT_RUNNING; }));
    EXPECT_TRUE(allQueued());
    for (Download* d : downloads) EXPECT_EQ(1, d->refCount()) << "the check's reference";
    std::vector<int> seen = ids();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), (int)MSG_RERANK_DOWNLOADS), 2);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), (int)MSG_PUBLISH), 1);
    EXPECT_TRUE(hashing.isPassDone());
    EXPECT_NE(console.text().find("Done loading shared files."), std::string::npos);
    EXPECT_TRUE(fileExists(theTransferOptions.getKnownPath().c_str()));
    EXPECT_TRUE(fileExists(theTransferOptions.getSharePath().c_str()));
}

TEST_F(TransferWorkersTest, ACheckQueuedDuringAPassComesBeforeTheNextFile) {
    for (int i = 0; i < 6; i++) writeText(dir / ("S/f" + std::to_string(i)), "content");
    std::vector<i4_string> paths{i4_string((dir / "S").c_str())};
    hashing.startHashing(paths);
    size_t before = 0;
    ASSERT_TRUE(waitFor([&] {
        std::vector<int> seen = ids();
        before = seen.size();
        return std::count(seen.begin(), seen.end(), (int)MSG_SHARE_FILE) >= 1;
    }));
    load(1);
    ASSERT_TRUE(waitFor([&] { return hashing.getState() == Thread::NOT_RUNNING; }));
    std::vector<int> all = ids();
    auto rerank = std::find(all.begin() + before, all.end(), (int)MSG_RERANK_DOWNLOADS);
    ASSERT_NE(rerank, all.end());
    // A step already under way may finish its file first.
    EXPECT_LE(std::count(all.begin() + before, rerank, (int)MSG_SHARE_FILE), 1);
    EXPECT_EQ(std::count(all.begin(), all.end(), (int)MSG_SHARE_FILE), 6);
    EXPECT_TRUE(allQueued());
}

TEST_F(TransferWorkersTest, AQuitDropsTheChecksAndGivesEveryReferenceBack) {
    load(4);
    workers.stop();
    EXPECT_EQ(0, hashing.pendingChecks());
    EXPECT_EQ(Thread::NOT_RUNNING, hashing.getState());
    for (Download* d : downloads) {
        EXPECT_EQ(1, d->refCount());
        std::string s = statusText(d);
        EXPECT_TRUE(s == "Queued" || s == "Hashing...") << s;
    }
}

// A finished download completes on a thread of its own, which holds the download until
// it is done, and lands in incoming under a name of one component.
TEST_F(TransferWorkersTest, ACompletionRunsOnItsOwnThreadAndLandsInIncoming) {
    const struct {
        const char* name;
        const char* landed;
    } cases[] = {{"song.ogg", "song.ogg"}, {"../../secret.txt", nullptr}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> content = randomBytes(700000, 7 + n++);
        std::unique_ptr<FileMeta> record(recordOf(content, c.name, dir.path));
        Download* d = new Download();
        d->addRef();
        ASSERT_TRUE(d->startNew(record.get()));
        d->lock();
        d->writeData(content.data(), 0, (uint32_t)content.size());
        d->unlock();
        downloads.push_back(d);
        ASSERT_TRUE(waitFor([&] { return statusText(d) == "Complete"; }));
        // The end-of-download message holds one until it is handled.
        ASSERT_TRUE(waitFor([&] {
            dirs->posted.drain();
            return d->refCount() == 1;
        })) << "the thread let go";
    }
    EXPECT_LE(workers.completingThreads(), 2);
    i4_dir_listing listing;
    ASSERT_TRUE(i4_list_directory(dirs->incoming.c_str(), listing, false));
    ASSERT_EQ(listing.file_names.size(), 2u);
    EXPECT_EQ(readText(dirs->incoming + "/song.ogg").size(), 700000u);
    for (const i4_string& f : listing.file_names) EXPECT_TRUE(i4_is_safe_name(f.c_str()));
    EXPECT_FALSE(fileExists((dir / "secret.txt").c_str()));
    workers.stop();
    EXPECT_EQ(workers.completingThreads(), 0);
}

// Completions end on their own threads while the core side cancels other downloads, and the
// completing ones too, through the queue as the console's cancel does; the pool ticks and
// saves every record meanwhile. Each completed file lands in incoming whole, each cancelled
// one leaves nothing behind, the pool lets go of every download once, and no thread touches
// a download it does not hold (ASan and TSan see to that).
TEST_F(TransferWorkersTest, CompletionsEndWhileDownloadsAreCancelled) {
    for (int id :
         {MSG_END_DOWNLOAD, MSG_CANCEL_DOWNLOAD, MSG_CHECK_DISK_SPACE, MSG_RERANK_DOWNLOADS})
        theMessageQ.setHandler(&theTransferHandler, id);
    struct SpaceScope {
        SpaceScope() {
            theDLPool.setFreeSpace([](const char*) { return (int64_t)1 << 40; });
        }
        ~SpaceScope() {
            theDLPool.setFreeSpace([](const char* p) { return i4_free_space(p); });
        }
    } space;
    struct Started {
        Download* d;
        std::string name;
        std::vector<uint8_t> content;
    };
    int seed = 0;
    auto start = [&](const std::string& name) {
        Started s{nullptr, name, randomBytes(150000 + 60000 * (seed % 5), 300 + seed)};
        seed++;
        std::unique_ptr<FileMeta> record(recordOf(s.content, name.c_str(), dir.path));
        theDLPool.startDownload(record.get());
        s.d = theDLPool.findByHash(record->getFileHash());
        if (s.d) downloads.push_back(s.d);
        return s;
    };
    auto write = [](Started& s, size_t from, size_t to) {
        s.d->lock();
        s.d->writeData(s.content.data() + from, (uint32_t)from, (uint32_t)to);
        s.d->unlock();
    };
    auto pump = [] {
        for (int i = 0; i < 1000 && theMessageQ.run(0); i++) {
        }
        theDLPool.run(10);
    };
    std::vector<Started> finished, cancelled;
    for (int round = 0; round < 3; round++) {
        std::vector<Started> finishing, cancelling;
        for (int k = 0; k < 4; k++) {
            std::string tag = std::to_string(round) + "-" + std::to_string(k) + ".bin";
            finishing.push_back(start("done-" + tag));
            cancelling.push_back(start("cancelled-" + tag));
        }
        for (std::vector<Started>* s : {&finishing, &cancelling})
            for (Started& one : *s) {
                ASSERT_NE(nullptr, one.d);
                write(one, 0, one.content.size() / 2);
            }
        for (int k = 0; k < 4; k++) {
            Started& f = finishing[(size_t)k];
            write(f, f.content.size() / 2, f.content.size());  // its completion starts
            f.d->post(MSG_CANCEL_DOWNLOAD);
            cancelling[(size_t)k].d->post(MSG_CANCEL_DOWNLOAD);
            pump();
        }
        theDLPool.run(DLPool::SAVE_MS);
        finished.insert(finished.end(), finishing.begin(), finishing.end());
        cancelled.insert(cancelled.end(), cancelling.begin(), cancelling.end());
    }
    ASSERT_TRUE(waitFor([&] {
        pump();
        return theDLPool.count() == 0;
    }));
    workers.stop();
    EXPECT_EQ(0, workers.completingThreads());

    std::set<std::string> landed;
    i4_dir_listing listing;
    ASSERT_TRUE(i4_list_directory(dirs->incoming.c_str(), listing, false));
    for (const i4_string& f : listing.file_names) landed.insert(f.c_str());
    std::set<std::string> expected;
    for (Started& s : finished) {
        SCOPED_TRACE(s.name);
        expected.insert(s.name);
        EXPECT_EQ("Complete", statusText(s.d));
        EXPECT_EQ(1, s.d->refCount());
        std::string got = readText(dirs->incoming + "/" + s.name);
        EXPECT_BYTES_EQ(s.content, got);
    }
    EXPECT_EQ(expected, landed);
    for (Started& s : cancelled) {
        EXPECT_EQ("Done", statusText(s.d)) << s.name;
        EXPECT_EQ(1, s.d->refCount()) << s.name;
    }
    // Neither a record nor a part of any of them is left.
    i4_dir_listing temp;
    ASSERT_TRUE(i4_list_directory(dirs->temp.c_str(), temp, false));
    EXPECT_EQ(0u, temp.file_names.size());
    std::vector<std::string> subdirectories;
    for (const i4_string& d : temp.dir_names)
        if (!d.equals(".") && !d.equals("..")) subdirectories.push_back(d.c_str());
    EXPECT_EQ(std::vector<std::string>{}, subdirectories);
}

}  // namespace
