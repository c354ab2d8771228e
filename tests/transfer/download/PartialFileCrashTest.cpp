// A child writes blocks and saves its record until it is killed with SIGKILL
// at a random moment; whatever survives must load, and every byte the record
// calls present must be the file's own.
#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

#include "../DownloadTestSupport.h"
#include "meta/FileParts.h"
#include "meta/SpecialTagInfo.h"
#include "support/ByteCompare.h"
#include "support/CapturedUI.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/download/PartialFile.h"

namespace {

const uint32_t BLOCK = 184320;

void sleepMs(int ms) {
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
}

// The child's whole life: blocks in random order, a save after every few.
[[noreturn]] void downloadUntilKilled(bool perPart, FileMeta* record,
                                      const std::vector<uint8_t>& content, uint32_t seed) {
    CapturedUI quiet;
    DLProgress map;
    PartialFile* file = perPart ? new CompPartialFile() : new PartialFile();
    file->addRef();
    file->setProgress(&map);
    if (!file->create(record)) _exit(3);
    file->saveInfo(1, false);
    std::vector<uint32_t> starts;
    for (uint64_t s = 0; s < content.size(); s += BLOCK) starts.push_back((uint32_t)s);
    std::shuffle(starts.begin(), starts.end(), std::mt19937(seed));
    uint32_t size = (uint32_t)content.size();
    for (size_t k = 0; k < starts.size(); k++) {
        uint32_t s = starts[k], e = std::min(s + BLOCK, size);
        file->writeBlock(content.data() + s, e - s, s, e);
        if (k % 3 == 2) file->saveInfo(1, false);
    }
    file->saveInfo(1, false);
    // Done before the kill came: wait for it, a bounded while.
    for (int i = 0; i < 200; i++) sleepMs(50);
    _exit(0);
}

TEST(PartialFileCrash, WhatSurvivesAKillMatchesTheDisk) {
    const uint32_t size = (uint32_t)FileParts::PART_SIZE + 1777777;
    std::mt19937 rng(2024);
    std::vector<uint8_t> content = randomBytes(size, 77);
    TempDir scratch;
    std::unique_ptr<FileMeta> record(recordOf(content, "crash.bin", scratch.path));
    for (bool perPart : {false, true}) {
        int loaded = 0;
        for (int round = 0; round < 12; round++) {
            SCOPED_TRACE(std::string(perPart ? "file per part" : "one file") + " round " +
                         std::to_string(round));
            CapturedUI ui;
            TransferDirs dirs;
            int delay = 2 + (int)(rng() % 400);
            pid_t child = fork();
            ASSERT_NE(-1, child);
            if (child == 0) downloadUntilKilled(perPart, record.get(), content, (uint32_t)round);
            sleepMs(delay);
            kill(child, SIGKILL);
            int status = 0;
            ASSERT_EQ(child, waitpid(child, &status, 0));

            std::string path =
                perPart ? dirs.temp + "/crash.bin/1.part.met" : dirs.temp + "/1.part.met";
            FileMeta stored;
            int version = PartMetFile::read(path.c_str(), stored);
            if (!version) continue;  // killed before the first record
            loaded++;
            stored.removeSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY);
            stored.removeSpecialTag(SpecialTagInfo::STATE);
            DLProgress map;
            PartialFile* file = perPart ? new CompPartialFile() : new PartialFile();
            file->addRef();
            file->setProgress(&map);
            ASSERT_TRUE(file->load(&stored, perPart ? 1 : 0)) << ui.text();
            file->verify();
            EXPECT_EQ(std::string::npos, ui.text().find("Corruption")) << ui.text();
            // Every range outside the gaps reads back as the file's bytes.
            std::vector<Gap> gaps = file->snapshot();
            std::sort(gaps.begin(), gaps.end(),
                      [](const Gap& a, const Gap& b) { return a.start < b.start; });
            uint32_t at = 0;
            std::vector<uint8_t> buf;
            auto check = [&](uint32_t s, uint32_t e) {
                for (uint32_t x = s; x < e; x += BLOCK) {
                    uint32_t y = std::min(x + BLOCK, e);
                    buf.resize(y - x);
                    ASSERT_EQ(PartialFile::READ_OK, file->read(buf.data(), x, y));
                    ASSERT_BYTES_EQ(std::vector<uint8_t>(content.begin() + x, content.begin() + y),
                                    buf)
                        << "in the block at " << x;
                }
            };
            for (const Gap& g : gaps) {
                check(at, g.start);
                at = g.end;
            }
            check(at, size);
            FileParts fp(size);
            for (int c = 0; c < file->crumbCount(); c++) {
                if (!file->isCrumbDone(c)) continue;
                EXPECT_FALSE(file->overlaps((uint32_t)fp.crumbStart((uint64_t)c),
                                            (uint32_t)fp.crumbEnd((uint64_t)c)));
            }
            file->release();
        }
        EXPECT_GT(loaded, 0) << "no round got as far as a record";
    }
}

}  // namespace
