#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "DownloadTestSupport.h"
#include "core/XMLStringTable.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/Download.h"
#include "transfer/DownloadWorker.h"
#include "transfer/PartMetFile.h"

namespace {

std::string statusText(Download* d) {
    const char* t = theXMLStringTable.get(d->getStatus());
    return t ? t : "";
}

// Downloads saved and loaded again, each waiting for its check.
struct Loaded {
    explicit Loaded(int n) {
        for (int i = 0; i < n; i++) {
            FileMeta record;
            record.setName(("w" + std::to_string(i)).c_str());
            record.setFileSize(3 * 486400);
            uint8_t hash[16] = {(uint8_t)(i + 1)};
            record.setFileHash(hash);
            Download* d = new Download();
            d->addRef();
            EXPECT_TRUE(d->startNew(&record));
            std::string path = d->getPartialFile()->metPath().c_str();
            d->shutdown();
            d->release();
            FileMeta stored;
            EXPECT_NE(0, PartMetFile::read(path.c_str(), stored));
            d = new Download();
            d->addRef();
            d->load(&stored, 1);
            downloads.push_back(d);
        }
    }
    ~Loaded() {
        for (Download* d : downloads) d->release();
    }
    CapturedUI ui;
    TransferDirs dirs;
    std::vector<Download*> downloads;
};

TEST(DownloadWorker, ChecksLoadedDownloadsOnItsOwnThreadAndEndsWhenIdle) {
    DownloadWorker worker;
    DownloadWorkers* saved = theDownloadWorkers;
    theDownloadWorkers = &worker;
    {
        Loaded loaded(3);
        bool done = false;
        for (int i = 0; i < 2000 && !done; i++) {
            done = true;
            for (Download* d : loaded.downloads) done &= statusText(d) == "Queued";
            if (!done) i4_sleep_ms(10);
        }
        EXPECT_TRUE(done);
        for (int i = 0; i < 2000 && worker.getState() != Thread::NOT_RUNNING; i++) i4_sleep_ms(10);
        EXPECT_EQ(Thread::NOT_RUNNING, worker.getState());
        for (Download* d : loaded.downloads) EXPECT_EQ(1, d->refCount()) << "given back";
    }
    theDownloadWorkers = saved;
}

TEST(DownloadWorker, AQuitDropsWhatIsLeftAndGivesEveryReferenceBack) {
    DownloadWorker worker;
    DownloadWorkers* saved = theDownloadWorkers;
    theDownloadWorkers = &worker;
    {
        Loaded loaded(4);
        worker.abandon();
        EXPECT_EQ(0, worker.pending());
        EXPECT_EQ(Thread::NOT_RUNNING, worker.getState());
        for (Download* d : loaded.downloads) {
            EXPECT_EQ(1, d->refCount());
            std::string s = statusText(d);
            EXPECT_TRUE(s == "Queued" || s == "Hashing...") << s;
        }
    }
    theDownloadWorkers = saved;
}

}  // namespace
