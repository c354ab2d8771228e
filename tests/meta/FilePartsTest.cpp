#include <gtest/gtest.h>

#include "meta/FileParts.h"

namespace {

struct Counts {
    uint64_t size;
    uint64_t parts;
    uint64_t crumbs;
    uint64_t checkPieces;
};

TEST(FileParts, CountsAroundEveryBoundary) {
    const Counts table[] = {
        {0, 0, 0, 1},
        {1, 1, 1, 1},
        {486400, 1, 1, 1},
        {486401, 1, 2, 1},
        {9728000, 1, 20, 2},
        {9728001, 2, 21, 2},
        {19456000, 2, 40, 3},
        // Near and at 4 GiB nothing may wrap.
        {0xFFFFFFFFull, 442, 8831, 442},
        {0x100000000ull, 442, 8831, 442},
        {0x1000000000ull, 7065, 141282, 7065},
    };
    for (const Counts& c : table) {
        FileParts fp(c.size);
        EXPECT_EQ(fp.partCount(), c.parts) << c.size;
        EXPECT_EQ(fp.crumbCount(), c.crumbs) << c.size;
        EXPECT_EQ(fp.checkPieceCount(), c.checkPieces) << c.size;
    }
}

struct Holder {
    uint64_t offset;
    uint64_t part;
    uint64_t crumb;
};

TEST(FileParts, WhichPartAndCrumbHoldsAByte) {
    const Holder table[] = {
        {0, 0, 0},
        {486399, 0, 0},
        {486400, 0, 1},
        {9727999, 0, 19},
        {9728000, 1, 20},
        {0xFFFFFFFEull, 441, 8830},
        {0x1FFFFFFFFull, 883, 17660},
    };
    for (const Holder& h : table) {
        EXPECT_EQ(FileParts::partOf(h.offset), h.part) << h.offset;
        EXPECT_EQ(FileParts::crumbOf(h.offset), h.crumb) << h.offset;
        EXPECT_EQ(FileParts::partOf(h.offset),
                  FileParts::crumbOf(h.offset) / FileParts::CRUMBS_PER_PART);
    }
}

TEST(FileParts, RangesAreClippedToTheFile) {
    FileParts fp(9728001);
    EXPECT_EQ(fp.partStart(1), 9728000u);
    EXPECT_EQ(fp.partEnd(1), 9728001u);
    EXPECT_EQ(fp.crumbStart(20), 9728000u);
    EXPECT_EQ(fp.crumbEnd(20), 9728001u);
    EXPECT_EQ(fp.crumbEnd(19), 9728000u);
    EXPECT_EQ(fp.crumbEndAt(486400), 972800u);
    EXPECT_EQ(FileParts::firstCrumbOfPart(1), 20u);

    // The last part of the largest shareable file ends at its size, not at a wrapped value.
    FileParts big(0xFFFFFFFFull);
    EXPECT_EQ(big.partEnd(441), 0xFFFFFFFFull);
    EXPECT_EQ(big.partStart(441), 441ull * 9728000);
    EXPECT_EQ(big.crumbEnd(8830), 0xFFFFFFFFull);
}

struct PartCrumbs {
    uint64_t size;
    uint64_t part;
    FileParts::Range crumbs;
};

TEST(FileParts, CrumbsOfAPartStopAtTheFileEnd) {
    const PartCrumbs table[] = {
        {0, 0, {0, 0}},
        // One part of one short crumb.
        {1, 0, {0, 1}},
        {1, 1, {1, 1}},
        // The last crumb shorter.
        {486401, 0, {0, 2}},
        // Exactly one part, an exact multiple: no empty part after it.
        {9728000, 0, {0, 20}},
        {9728000, 1, {20, 20}},
        // The last part shorter.
        {9728001, 0, {0, 20}},
        {9728001, 1, {20, 21}},
        {19456000, 1, {20, 40}},
        {19456000, 2, {40, 40}},
        {0xFFFFFFFFull, 440, {8800, 8820}},
        {0xFFFFFFFFull, 441, {8820, 8831}},
        {0xFFFFFFFFull, 442, {8831, 8831}},
        {0x100000000ull, 441, {8820, 8831}},
    };
    for (const PartCrumbs& c : table) {
        FileParts fp(c.size);
        FileParts::Range r = fp.crumbsOfPart(c.part);
        EXPECT_EQ(r.first, c.crumbs.first) << c.size << " part " << c.part;
        EXPECT_EQ(r.end, c.crumbs.end) << c.size << " part " << c.part;
        EXPECT_EQ(r.count(), c.crumbs.end - c.crumbs.first) << c.size << " part " << c.part;
        for (uint64_t k = r.first; k < r.end; k++) {
            EXPECT_EQ(FileParts::partOfCrumb(k), c.part) << c.size << " crumb " << k;
            EXPECT_GE(fp.crumbStart(k), fp.partStart(c.part)) << c.size << " crumb " << k;
            EXPECT_LE(fp.crumbEnd(k), fp.partEnd(c.part)) << c.size << " crumb " << k;
        }
    }
}

TEST(FileParts, ThePartsCrumbsTileEveryCrumbOnce) {
    for (uint64_t size :
         {1ull, 486400ull, 9728000ull, 9728001ull, 29184000ull - 1, 0xFFFFFFFFull}) {
        FileParts fp(size);
        uint64_t next = 0;
        for (uint64_t part = 0; part < fp.partCount(); part++) {
            FileParts::Range r = fp.crumbsOfPart(part);
            EXPECT_EQ(r.first, next) << size << " part " << part;
            EXPECT_FALSE(r.empty()) << size << " part " << part;
            next = r.end;
        }
        EXPECT_EQ(next, fp.crumbCount()) << size;
    }
}

TEST(FileParts, WhichPartHoldsACrumb) {
    const uint64_t table[][2] = {{0, 0}, {19, 0}, {20, 1}, {8830, 441}, {17660, 883}};
    for (const auto& c : table) EXPECT_EQ(FileParts::partOfCrumb(c[0]), c[1]) << c[0];
}

struct RangeCrumbs {
    uint64_t start;
    uint64_t end;
    FileParts::Range crumbs;
};

TEST(FileParts, CrumbsOfAByteRange) {
    const RangeCrumbs table[] = {
        // Empty and reversed ranges touch no crumb.
        {0, 0, {0, 0}},
        {486400, 486400, {1, 1}},
        {486401, 486400, {1, 1}},
        {0, 1, {0, 1}},
        {0, 486400, {0, 1}},
        {0, 486401, {0, 2}},
        {486399, 486401, {0, 2}},
        {486400, 972800, {1, 2}},
        // Across a part boundary.
        {9727999, 9728001, {19, 21}},
        // At and past 4 GiB nothing wraps.
        {0xFFFFFFFEull, 0xFFFFFFFFull, {8830, 8831}},
        {0xFFFF0000ull, 0x100000010ull, {8829, 8831}},
        {0x1FFFFFFFFull, 0x200000001ull, {17660, 17661}},
    };
    for (const RangeCrumbs& c : table) {
        FileParts::Range r = FileParts::crumbsOfRange(c.start, c.end);
        EXPECT_EQ(r.first, c.crumbs.first) << c.start << "-" << c.end;
        EXPECT_EQ(r.end, c.crumbs.end) << c.start << "-" << c.end;
        EXPECT_EQ(r.empty(), c.start >= c.end) << c.start << "-" << c.end;
    }
}

TEST(FileParts, LargestPartIsTheFirst) {
    const uint64_t table[][2] = {
        {0, 0}, {1, 1}, {9728000, 9728000}, {9728001, 9728000}, {0xFFFFFFFFull, 9728000}};
    for (const auto& c : table) EXPECT_EQ(FileParts(c[0]).largestPartSize(), c[1]) << c[0];
}

TEST(FileParts, ShareableOnlyBelowFourGiB) {
    EXPECT_TRUE(FileParts::isShareable(0));
    EXPECT_TRUE(FileParts::isShareable(0xFFFFFFFFull));
    EXPECT_FALSE(FileParts::isShareable(0x100000000ull));
}

}  // namespace
