#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>

#include "../DownloadTestSupport.h"
#include "i4min/threads/linux/i4_random.h"
#include "meta/FileParts.h"
#include "support/CapturedUI.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "util/BoolArray.h"

namespace {

const uint32_t CRUMB = 486400;
const uint32_t HALF = CRUMB / 2;

std::string text(const std::vector<Gap>& gaps) {
    std::string s;
    for (const Gap& g : gaps)
        s += "[" + std::to_string(g.start) + "," + std::to_string(g.end) + ")";
    return s;
}

// A new download of the given size with its crumb map; no data on disk.
struct NewDownload {
    explicit NewDownload(uint32_t size) {
        FileMeta record;
        record.setName("x.bin");
        record.setFileSize(size);
        file = new CompPartialFile();
        file->addRef();
        file->setProgress(&map);
        EXPECT_TRUE(file->create(&record));
    }
    ~NewDownload() { file->release(); }
    BoolArray only(std::initializer_list<int> crumbs) {
        BoolArray b((uint32_t)map.crumbCount());
        b.fill(0);
        for (int c : crumbs) b.set((uint32_t)c, 1);
        return b;
    }
    TransferDirs dirs;
    DLProgress map;
    CompPartialFile* file;
};

TEST(DLProgress, NewDownloadSplitsWholeCrumbsInHalves) {
    NewDownload d(1000000);
    ASSERT_EQ(3, d.map.crumbCount());
    EXPECT_EQ(text({{0, HALF}, {HALF, CRUMB}}), text(d.map.crumbGaps(0)));
    EXPECT_EQ(text({{CRUMB, CRUMB + HALF}, {CRUMB + HALF, 2 * CRUMB}}), text(d.map.crumbGaps(1)));
    EXPECT_EQ(text({{2 * CRUMB, 1000000}}), text(d.map.crumbGaps(2)));
    for (int c = 0; c < 3; c++) EXPECT_EQ(0, d.map.getWeight(c));
}

TEST(DLProgress, NextRangeTakesTheFirstGapOfAHeldCrumb) {
    {
        NewDownload d(1000000);
        BoolArray peer = d.only({1});
        uint32_t s = 0, e = 0;
        ASSERT_TRUE(d.map.nextRange(&peer, s, e, 0));
        EXPECT_EQ(CRUMB, s);
        EXPECT_EQ(729600u, e);
    }
    NewDownload d(1000000);
    BoolArray peer = d.only({1});
    uint32_t s = 0, e = 0;
    ASSERT_TRUE(d.map.nextRange(&peer, s, e, 184320));
    EXPECT_EQ(CRUMB, s);
    EXPECT_EQ(670720u, e);
    EXPECT_EQ(text({{670720, 729600}, {729600, 2 * CRUMB}}), text(d.map.crumbGaps(1)));
}

TEST(DLProgress, LeastAvailableComesFirstWhateverTheShuffle) {
    for (int round = 0; round < 20; round++) {
        NewDownload d(3 * CRUMB);
        d.map.shuffle();
        BoolArray c0 = d.only({0}), c2 = d.only({2});
        d.map.changeWeight(&c0, 2);
        d.map.changeWeight(&c2, 1);
        EXPECT_EQ((std::vector<int>{1, 2, 0}), d.map.preferred());
    }
}

TEST(DLProgress, NearerCompletionComesFirstAmongEquals) {
    NewDownload d(2 * CRUMB);
    // Crumb 1 misses 10,000 bytes, crumb 0 misses 300,000.
    d.file->fill(0, CRUMB - 300000);
    d.file->fill(CRUMB, 2 * CRUMB - 10000);
    d.map.init(d.file);
    EXPECT_EQ((std::vector<int>{1, 0}), d.map.preferred());
    EXPECT_EQ(-1, d.map.compare(1, 0));
    EXPECT_EQ(1, d.map.compare(0, 1));
}

TEST(DLProgress, WeightsNeverFallBelowZero) {
    CapturedUI ui;
    NewDownload d(2 * CRUMB);
    BoolArray c0 = d.only({0});
    d.map.changeWeight(&c0, -1);
    EXPECT_EQ(0, d.map.getWeight(0));
    EXPECT_EQ("DLProgress::changeWeight\n", ui.text());
    // The wrong number of bits changes nothing.
    BoolArray wrong(5);
    wrong.fill(1);
    d.map.changeWeight(&wrong, 3);
    EXPECT_EQ(0, d.map.getWeight(1));
}

TEST(DLProgress, DoneCrumbsAreNeverHandedOut) {
    CapturedUI ui;
    NewDownload d(3 * CRUMB);
    d.map.gotCrumb(1);
    EXPECT_EQ(-1, d.map.getWeight(1));
    BoolArray peer = d.only({1});
    uint32_t s, e;
    EXPECT_FALSE(d.map.nextRange(&peer, s, e, 0));
    d.map.gotCrumb(3);
    EXPECT_EQ("ERROR: DLProgress::gotCrumb(3) 3\n", ui.text());
}

TEST(DLProgress, RandomRunTakesOnlyTouchingGaps) {
    NewDownload d(CRUMB);
    d.file->fill(0, CRUMB);
    d.file->addGap(0, 100);
    d.file->addGap(200, 300);
    d.map.init(d.file);
    uint32_t s, e;
    ASSERT_TRUE(d.map.randomChunkRange(s, e));
    EXPECT_EQ("[0,100)", text({{s, e}}));
    ASSERT_TRUE(d.map.randomChunkRange(s, e));
    EXPECT_EQ("[200,300)", text({{s, e}}));
    EXPECT_FALSE(d.map.randomChunkRange(s, e));
}

TEST(DLProgress, RandomRunCrossesWholeMissingCrumbsOfOnePart) {
    NewDownload d(3 * CRUMB);
    uint32_t s, e;
    ASSERT_TRUE(d.map.randomChunkRange(s, e));
    EXPECT_EQ(text({{0, 3 * CRUMB}}), text({{s, e}}));
    EXPECT_FALSE(d.map.hasGaps());
}

TEST(DLProgress, GivingBackListsWhatIsStillMissingOnce) {
    NewDownload d(2 * CRUMB);
    BoolArray peer = d.only({0});
    uint32_t s, e;
    ASSERT_TRUE(d.map.nextRange(&peer, s, e, 0));
    ASSERT_EQ(text({{0, HALF}}), text({{s, e}}));
    d.file->fill(0, 1000);  // part of it arrived
    EXPECT_EQ(1, d.map.refreshGaps(s, e));
    // Given back again, nothing is listed twice.
    EXPECT_EQ(0, d.map.refreshGaps(s, e));
    EXPECT_EQ(text({{HALF, CRUMB}, {1000, HALF}}), text(d.map.crumbGaps(0)));
    EXPECT_EQ(5, d.map.refreshGaps(5, 5));
}

TEST(DLProgress, ARangeIsUnaskedOnlyWhileItsBytesAreMissingAndThePeerHasIt) {
    NewDownload d(2 * CRUMB);
    BoolArray first = d.only({0}), second = d.only({1});
    EXPECT_TRUE(d.map.hasRangeFor(&first));
    uint32_t s, e;
    std::vector<std::pair<uint32_t, uint32_t>> held;
    while (d.map.nextRange(&first, s, e, 0)) held.push_back({s, e});
    EXPECT_FALSE(d.map.hasRangeFor(&first)) << "every range of crumb 0 is asked for";
    EXPECT_TRUE(d.map.hasRangeFor(&second));
    d.map.refreshGaps(held[0].first, held[0].second);
    EXPECT_TRUE(d.map.hasRangeFor(&first)) << "a range given back";
    // Its bytes arrive from elsewhere before anyone asks for it again.
    d.file->fill(held[0].first, held[0].second);
    EXPECT_FALSE(d.map.hasRangeFor(&first));
}

// Sources ask, receive part of what they asked, give the rest back, and crumbs
// fail their check; every range handed out lies in one crumb the peer holds and
// in the file's gaps, and ranges out at the same time never overlap.
TEST(DLProgress, HandedOutRangesStayInsideGapsAndNeverOverlap) {
    const uint32_t size = 7 * CRUMB + 12345;
    std::mt19937 rng(99);
    for (int round = 0; round < 30; round++) {
        NewDownload d(size);
        int crumbs = d.map.crumbCount();
        std::vector<Gap> out;
        for (int step = 0; step < 400; step++) {
            int op = (int)(rng() % 10);
            if (op < 5) {
                BoolArray peer((uint32_t)crumbs);
                for (int c = 0; c < crumbs; c++) peer.set((uint32_t)c, (int)(rng() % 2));
                uint32_t s, e, maxLen = rng() % 3 ? 0 : 1 + rng() % 200000;
                if (!d.map.nextRange(&peer, s, e, maxLen)) continue;
                ASSERT_LT(s, e);
                int c = (int)FileParts::crumbOf(s);
                ASSERT_EQ(c, (int)FileParts::crumbOf(e - 1)) << "range crosses a crumb";
                ASSERT_TRUE(peer.get((uint32_t)c));
                if (maxLen) {
                    ASSERT_LE(e - s, maxLen);
                }
                ASSERT_EQ((uint64_t)e - s, d.file->bytesIn(s, e)) << "range holds present bytes";
                for (const Gap& o : out) ASSERT_TRUE(e <= o.start || s >= o.end) << "overlap";
                out.push_back(Gap{s, e});
            } else if (op < 8 && !out.empty()) {
                size_t k = rng() % out.size();
                Gap g = out[k];
                out.erase(out.begin() + k);
                uint32_t got = g.start + rng() % (g.end - g.start + 1);
                d.file->fill(g.start, got);
                d.map.refreshGaps(g.start, g.end);
            } else if (op == 8) {
                // A crumb failed its check: nothing of it may still be out.
                int c = (int)(rng() % crumbs);
                uint32_t cs = (uint32_t)c * CRUMB, ce = std::min(cs + CRUMB, size);
                bool busy = false;
                for (const Gap& o : out) busy |= o.start < ce && o.end > cs;
                if (busy) continue;
                d.file->addGap(cs, ce);
                d.map.resetCrumb(c);
                ASSERT_EQ(text({{cs, ce}}), text(d.map.crumbGaps(c)));
            }
        }
    }
}

}  // namespace
