// When crumbs and parts are checked and what a failed check throws away: a whole crumb behind a
// gap, crumb hashes that were not asked for or were shown wrong, a whole-file check that fails
// before any part hash is known, and the hashing worker's check beside the core thread's
// changes of the crumb map.
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../SourceTestSupport.h"
#include "../TransferTestSupport.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/FileList.h"
#include "meta/SpecialTagInfo.h"
#include "support/ByteCompare.h"
#include "support/CapturedUI.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/ShareList.h"
#include "util/LLView.h"

using namespace sourcetest;

namespace {

const uint32_t PART = 9728000;

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// The hash sets of the record as a peer sends them, crumb hash `wrong` (if any) spoilt.
std::vector<uint8_t> hashSets(FileMeta& record, int wrong = -1) {
    FileMeta sets(record);
    if (wrong >= 0) {
        std::vector<uint8_t> crumbs((size_t)record.crumbCount() * 8);
        for (int c = 0; c < record.crumbCount(); c++) {
            uint64_t v = record.getCrumbHash(c) ^ (c == wrong ? 1 : 0);
            for (int b = 0; b < 8; b++) crumbs[(size_t)c * 8 + b] = (uint8_t)(v >> (8 * b));
        }
        sets.setCrumbHashes(crumbs.data(), record.crumbCount());
    }
    i4_ram_file_class f(nullptr, 0, 4096);
    sets.writeHashSets(f);
    std::vector<uint8_t> b((uint8_t*)f.get_buffer(), (uint8_t*)f.get_buffer() + f.size());
    i4_free(f.get_buffer());
    return b;
}

// The record as a download starts from a link: name, size and file hash only.
FileMeta bareOf(FileMeta& full) {
    FileMeta bare;
    bare.setName(full.getName());
    bare.setFileSize(full.getFileSize());
    bare.setFileHash(full.getFileHash());
    return bare;
}

// A partial file of one layout with its crumb map.
struct Partial {
    Partial(bool perPart, FileMeta* record) {
        file = perPart ? new CompPartialFile() : new PartialFile();
        file->addRef();
        file->setProgress(&map);
        EXPECT_TRUE(file->create(record));
    }
    ~Partial() { file->release(); }
    bool deliver(const std::vector<uint8_t>& content, uint32_t start, uint32_t end) {
        return file->writeBlock(content.data() + start, end - start, start, end).gapsRemain;
    }
    DLProgress map;
    PartialFile* file;
};

// A whole crumb is checked the moment it is whole, whatever is missing before it in its part:
// a good one is done (and leaves the crumb choice), a spoilt one is missing again at once.
TEST(CrumbCheck, AWholeCrumbBehindAGapIsCheckedAtOnce) {
    struct Row {
        const char* what;
        bool spoilt;
    };
    for (Row r : {Row{"good", false}, Row{"spoilt", true}}) {
        SCOPED_TRACE(r.what);
        CapturedUI ui;
        TransferDirs dirs;
        std::vector<uint8_t> content = randomBytes(6 * CRUMB, 21);
        std::unique_ptr<FileMeta> record(recordOf(content, "gap.bin", dirs.root.path));
        Partial p(true, record.get());
        std::vector<uint8_t> sent = content;
        if (r.spoilt) sent[3 * CRUMB + 77] ^= 1;
        // Crumbs 0 to 2 are still missing; crumb 3 arrives whole, then half of crumb 4.
        p.deliver(sent, 3 * CRUMB, 4 * CRUMB);
        p.deliver(content, 4 * CRUMB, 4 * CRUMB + CRUMB / 2);
        EXPECT_EQ(!r.spoilt, p.file->isCrumbDone(3));
        EXPECT_FALSE(p.file->isCrumbDone(4));
        EXPECT_EQ(r.spoilt, p.file->overlaps(3 * CRUMB, 4 * CRUMB));
        EXPECT_EQ(r.spoilt ? 0 : -1, p.map.getWeight(3));
        EXPECT_EQ(r.spoilt ? 1u : 0u,
                  count(ui.text(), "Corruption found in gap.bin at 1459200-1945600"))
            << ui.text();
        // The rest completes the part, and the file, without checking crumb 3 again.
        if (r.spoilt) p.deliver(content, 3 * CRUMB, 4 * CRUMB);
        p.deliver(content, 0, 3 * CRUMB);
        EXPECT_FALSE(p.deliver(content, 4 * CRUMB, 6 * CRUMB));
        EXPECT_TRUE(p.file->isPartDone(0));
        EXPECT_EQ(r.spoilt ? 1u : 0u, count(ui.text(), "Corruption found")) << ui.text();
    }
}

// A download whose crumb hashes come from peers: they are taken only as the answer to a
// request of this client, and a set shown wrong is believed neither from its sender again nor
// from anyone else. However the sets come, the good crumb is thrown away at most once.
struct CrumbHashes : SourceFixture {};

TEST_F(CrumbHashes, UnaskedAndRepeatedSetsNeverDiscardAGoodCrumbTwice) {
    struct Row {
        const char* what;
        std::vector<std::string> steps;
        size_t discarded;  // "Corruption found" lines
        bool setHeld;      // crumb hashes held at the end
    };
    // Steps: "ask X" (the source of peer X asks for the sets), "X wrong" / "X right" (peer X
    // sends a set, wrong at crumb 1 or right), "crumb N" (crumb N arrives, good), "rest" (all
    // but crumb 1).
    std::vector<Row> rows = {
        {"a set nobody asked for is not taken", {"A wrong", "crumb 1"}, 0, false},
        {"a right set asked for is taken", {"ask A", "A right", "crumb 0", "crumb 1"}, 0, true},
        {"a wrong set asked for, then sent again every round",
         {"ask A", "A wrong", "crumb 0", "crumb 1", "A wrong", "crumb 1", "A wrong", "crumb 1",
          "ask A", "A wrong", "crumb 1", "A wrong", "crumb 1"},
         1,
         false},
        {"the same wrong set asked of another peer",
         {"ask A", "A wrong", "crumb 0", "crumb 1", "crumb 1", "ask B", "B wrong", "crumb 1"},
         1,
         false},
        {"a right set from another peer after the wrong one",
         {"ask A", "A wrong", "crumb 0", "crumb 1", "crumb 1", "ask B", "B right", "crumb 1"},
         1,
         true},
        {"a wrong set whose crumb fails though the part passes",
         {"ask A", "A wrong", "rest", "crumb 1", "ask A", "A wrong"},
         0,
         false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        CapturedUI ui;
        std::vector<uint8_t> content = randomBytes(4 * CRUMB, 22);
        std::unique_ptr<FileMeta> full(recordOf(content, "sets.bin", dirs.root.path));
        FileMeta bare = bareOf(*full);
        Download* d = new Download;
        d->addRef();
        ASSERT_TRUE(d->startNew(&bare));
        TestPeer* a = peer(0x31);
        TestPeer* b = peer(0x32);
        d->addSource(a->getUser(), a);
        d->addSource(b->getUser(), b);
        auto sourceOf = [&](TestPeer* c) {
            for (FileSourceInterface* s : LLView<FileSourceInterface>(d->getSources()))
                if (s->isSameUser(c->getUser())) return s;
            return (FileSourceInterface*)nullptr;
        };
        for (const std::string& step : r.steps) {
            TestPeer* who = step.find('B') != std::string::npos ? b : a;
            if (step.rfind("ask ", 0) == 0) {
                ASSERT_TRUE(sourceOf(who)->requestHashes());
            } else if (step.rfind("crumb ", 0) == 0) {
                uint32_t c = (uint32_t)std::stoi(step.substr(6));
                d->writeData(content.data() + c * CRUMB, c * CRUMB, (c + 1) * CRUMB);
            } else if (step == "rest") {
                d->writeData(content.data(), 0, CRUMB);
                d->writeData(content.data() + 2 * CRUMB, 2 * CRUMB, 4 * CRUMB);
            } else {
                std::vector<uint8_t> sets =
                    hashSets(*full, step.find("wrong") != std::string::npos ? 1 : -1);
                i4_ram_file_class in(sets.data(), (int32_t)sets.size(), 0);
                d->gotCrumbHashes(in, who);
            }
        }
        EXPECT_EQ(r.discarded, count(ui.text(), "Corruption found")) << ui.text();
        EXPECT_EQ(r.setHeld, d->getPartialFile()->hasCrumbHashes());
        // Crumb 1's bytes are in place and the rest completes the file.
        EXPECT_FALSE(d->getPartialFile()->overlaps(CRUMB, 2 * CRUMB));
        d->writeData(content.data(), 0, CRUMB);
        d->writeData(content.data() + 2 * CRUMB, 2 * CRUMB, 4 * CRUMB);
        EXPECT_TRUE(d->getPartialFile()->isEmpty());
        EXPECT_TRUE(d->getPartialFile()->isPartDone(0));
        EXPECT_EQ(r.discarded, count(ui.text(), "Corruption found")) << ui.text();
        d->cancel();
        d->release();
        dirs.posted.drain();
    }
}

// The whole-file check of a download that never learned a part hash fails on one spoilt
// byte: every byte stays, unchecked, until the hash sets come, and then only what fails its
// check is fetched again (the spoilt crumb with crumb hashes, its part with part hashes only).
TEST(CrumbCheck, AFailedWholeFileCheckKeepsTheDataForTheHashSets) {
    struct Row {
        const char* what;
        bool crumbs;
        uint32_t gapStart, gapEnd;
    };
    const uint32_t size = PART + 3 * CRUMB;
    const uint32_t spoilt = PART + CRUMB + 5;  // in crumb 21, part 1
    for (bool perPart : {true, false})
        for (Row r : {Row{"crumb hashes", true, PART + CRUMB, PART + 2 * CRUMB},
                      Row{"part hashes only", false, PART, size}}) {
            SCOPED_TRACE(std::string(r.what) + (perPart ? ", a file per part" : ", one file"));
            CapturedUI ui;
            TransferDirs dirs;
            std::vector<uint8_t> content = randomBytes(size, 23);
            std::unique_ptr<FileMeta> full(recordOf(content, "late.bin", dirs.root.path));
            FileMeta bare = bareOf(*full);
            Partial p(perPart, &bare);
            std::vector<uint8_t> sent = content;
            sent[spoilt] ^= 0x10;
            EXPECT_FALSE(p.deliver(sent, 0, size));
            p.file->setState(PartialFile::COMPLETING);
            EXPECT_FALSE(p.file->complete());
            EXPECT_NE(std::string::npos, ui.text().find("Corrupted Download: late.bin"))
                << ui.text();
            EXPECT_EQ(PartialFile::ACTIVE, p.file->getState());
            EXPECT_TRUE(p.file->waitsForHashes());
            EXPECT_EQ(0ull, p.file->bytesIn(0, size));
            EXPECT_EQ((int64_t)size, p.file->getTransferred());

            if (r.crumbs) {
                std::vector<uint8_t> sets = hashSets(*full);
                i4_ram_file_class in(sets.data(), (int32_t)sets.size(), 0);
                EXPECT_TRUE(p.file->setCrumbHashes(in, nullptr));
            } else {
                i4_ram_file_class in(nullptr, 0, 1024);
                in.write_16((uint16_t)full->partCount());
                for (int i = 0; i < full->partCount(); i++) in.write(full->getPartHash(i), 16);
                in.seek(0);
                EXPECT_TRUE(p.file->setPartHashes(in));
                i4_free(in.get_buffer());
            }
            EXPECT_FALSE(p.file->waitsForHashes());
            EXPECT_TRUE(p.file->isPartDone(0));
            EXPECT_EQ((uint64_t)(r.gapEnd - r.gapStart), p.file->bytesIn(0, size));
            EXPECT_EQ((uint64_t)(r.gapEnd - r.gapStart), p.file->bytesIn(r.gapStart, r.gapEnd));
            EXPECT_FALSE(p.deliver(content, r.gapStart, r.gapEnd));
            p.file->setState(PartialFile::COMPLETING);
            ASSERT_TRUE(p.file->complete()) << ui.text();
            EXPECT_BYTES_EQ(content, readText(dirs.incoming + "/late.bin"));
        }
}

// The hashing worker checks a loaded download while the core thread, under the download's
// lock, moves crumb weights as a peer's file status (80) does: both sort the crumb map, so
// they must never run at once. Run under TSan.
struct WorkerCheck : TransferFixture {};

TEST_F(WorkerCheck, NeverRunsBesideAChangeOfCrumbs) {
    TransferDirs dirs;
    const uint32_t crumbs = 40;
    std::vector<uint8_t> content = randomBytes((uint64_t)crumbs * CRUMB, 24);
    std::unique_ptr<FileMeta> full(recordOf(content, "loaded.bin", dirs.root.path));
    std::string met;
    {
        // One data file: nothing of it is trusted after the restart without its check.
        Partial p(false, full.get());
        p.deliver(content, 0, (uint32_t)content.size() - 1);
        ASSERT_TRUE(p.file->saveInfo(1, false));
        met = p.file->metPath().c_str();
    }
    FileMeta record;
    ASSERT_EQ(PartialFile::VERSION_SINGLE, PartMetFile::read(met.c_str(), record));
    HeldWork held;
    Download* d = new Download;
    d->addRef();
    d->load(&record, 0);
    ASSERT_EQ(8, d->getStatus());

    FileList known;
    ShareList shares;
    RecordingQueue posted;
    HashThread worker(known, shares, posted.queue);
    std::vector<uint8_t> none(crumbs, 0), all(crumbs, 1);
    worker.queueCompleted(d);
    // The core thread's side: a peer's crumbs come and go, under the lock, until the check
    // is over.
    int rounds = 0;
    for (; rounds < 2000000 && d->getStatus() != 1; rounds++) {
        d->lock();
        d->changeCrumbs(rounds % 2 ? all.data() : none.data(),
                        rounds % 2 ? none.data() : all.data(), 1);
        d->unlock();
    }
    EXPECT_EQ(1, d->getStatus()) << "the check never ended";
    worker.stop();
    // Every crumb but the last (one byte short) passed and left the crumb choice.
    for (uint32_t c = 0; c + 1 < crumbs; c++)
        EXPECT_EQ(-1, d->getProgress().getWeight((int)c)) << c;
    EXPECT_GE(d->getProgress().getWeight((int)crumbs - 1), 0);
    d->cancel();
    d->release();
}

}  // namespace
