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

TEST(FileParts, ShareableOnlyBelowFourGiB) {
    EXPECT_TRUE(FileParts::isShareable(0));
    EXPECT_TRUE(FileParts::isShareable(0xFFFFFFFFull));
    EXPECT_FALSE(FileParts::isShareable(0x100000000ull));
}

}  // namespace
