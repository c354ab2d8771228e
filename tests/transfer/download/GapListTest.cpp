#include <gtest/gtest.h>
#include <random>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "support/CapturedUI.h"
#include "transfer/download/GapList.h"

namespace {

typedef std::vector<Gap> Gaps;

Gaps listOf(GapList& list) {
    return list.snapshot();
}

void load(GapList& list, const Gaps& gaps) {
    list.clear();
    for (const Gap& g : gaps) list.lockedAppend(g);
}

std::string text(const Gaps& gaps) {
    std::string s;
    for (const Gap& g : gaps)
        s += "[" + std::to_string(g.start) + "," + std::to_string(g.end) + ")";
    return s;
}

TEST(GapList, NewFileIsOneGapAndFillingItAllEmptiesIt) {
    GapList list;
    list.lockedAppend(Gap{0, 1000});
    EXPECT_FALSE(list.isEmpty());
    list.fill(0, 1000);
    EXPECT_TRUE(list.isEmpty());
}

// Each row: the gaps before, one operation, the gaps after in list order.
TEST(GapList, OperationTable) {
    struct Row {
        Gaps before;
        bool add;
        uint32_t a, b;
        Gaps after;
    } rows[] = {
        {{{0, 100}}, false, 10, 20, {{0, 10}, {20, 100}}},
        {{{0, 10}, {20, 100}}, false, 50, 60, {{0, 10}, {20, 50}, {60, 100}}},
        // one fill over several gaps, from before one into another
        {{{0, 10}, {20, 50}, {60, 100}}, false, 5, 70, {{0, 5}, {70, 100}}},
        {{{0, 10}, {20, 50}, {60, 100}}, false, 0, 100, {}},
        {{{0, 10}, {50, 60}}, true, 20, 50, {{0, 10}, {20, 60}}},
        {{{0, 10}, {50, 60}}, true, 10, 50, {{0, 60}}},
        {{{10, 20}}, true, 0, 10, {{0, 20}}},
        {{{0, 10}, {50, 60}}, true, 50, 60, {{0, 10}, {50, 60}}},
        {{{0, 10}, {50, 60}}, true, 2, 8, {{0, 10}, {50, 60}}},
        {{{0, 10}, {50, 60}}, true, 70, 80, {{0, 10}, {50, 60}, {70, 80}}},
        // empty ranges change nothing
        {{{0, 10}}, true, 30, 30, {{0, 10}}},
        {{{0, 10}}, false, 5, 5, {{0, 10}}},
    };
    for (const Row& r : rows) {
        GapList list;
        load(list, r.before);
        if (r.add)
            list.addGap(r.a, r.b);
        else
            list.fill(r.a, r.b);
        EXPECT_EQ(text(r.after), text(listOf(list)))
            << (r.add ? "add " : "fill ") << r.a << "-" << r.b << " to " << text(r.before);
    }
}

TEST(GapList, OverlapAndGapsInTable) {
    struct Row {
        Gap gap;
        uint32_t a, b;
        bool meets;
    } rows[] = {
        {{0, 10}, 10, 20, false},
        {{20, 30}, 10, 20, false},
        {{19, 30}, 10, 20, true},
        {{5, 11}, 10, 20, true},
        {{12, 15}, 10, 20, true},
        {{0, 100}, 10, 20, true},
        // an empty range meets a gap holding it or ending at it
        {{0, 10}, 10, 10, true},
        {{10, 20}, 10, 10, true},
        {{11, 20}, 10, 10, false},
    };
    for (const Row& r : rows) {
        GapList list;
        list.lockedAppend(r.gap);
        EXPECT_EQ(r.meets, list.overlaps(r.a, r.b)) << text({r.gap}) << " vs " << r.a << "-" << r.b;
    }
    GapList list;
    list.lockedAppend(Gap{50, 150});
    Gaps out;
    EXPECT_EQ(1, list.gapsIn(100, 200, out));
    EXPECT_EQ("[100,150)", text(out));
    EXPECT_EQ(50u, list.bytesIn(100, 200));
    Gap first{1, 2};
    EXPECT_TRUE(list.firstGapIn(120, 300, first));
    EXPECT_EQ("[120,150)", text({first}));
    Gap none{7, 8};
    EXPECT_FALSE(list.firstGapIn(0, 40, none));
    EXPECT_EQ("[7,8)", text({none}));
}

// The list against a byte map under random adds, fills and inverts: the same
// bytes missing, gaps disjoint, and (what addGap makes) no two touching.
TEST(GapList, AgreesWithAByteMap) {
    const uint32_t size = 600;
    std::mt19937 rng(12345);
    for (int round = 0; round < 200; round++) {
        GapList list;
        std::vector<bool> missing(size, true);
        list.lockedAppend(Gap{0, size});
        for (int step = 0; step < 60; step++) {
            int op = (int)(rng() % 9);
            uint32_t a = rng() % size, b = a + rng() % 80;
            if (b > size) b = size;
            if (op < 4) {
                list.fill(a, b);
                for (uint32_t i = a; i < b; i++) missing[i] = false;
            } else if (op < 8) {
                list.addGap(a, b);
                for (uint32_t i = a; i < b; i++) missing[i] = true;
            } else {
                list.invert(size);
                for (uint32_t i = 0; i < size; i++) missing[i] = !missing[i];
            }
            std::vector<int> seen(size, 0);
            Gaps gaps = listOf(list);
            for (const Gap& g : gaps) {
                ASSERT_LT(g.start, g.end);
                for (uint32_t i = g.start; i < g.end; i++) seen[i]++;
            }
            for (uint32_t i = 0; i < size; i++) {
                ASSERT_EQ(missing[i] ? 1 : 0, seen[i]) << "byte " << i << " in " << text(gaps);
                ASSERT_EQ(missing[i], list.overlaps(i, i + 1));
            }
            if (op >= 4 && op < 8) {
                for (size_t x = 0; x < gaps.size(); x++)
                    for (size_t y = 0; y < gaps.size(); y++)
                        ASSERT_FALSE(x != y && gaps[x].end == gaps[y].start)
                            << "touching pair in " << text(gaps);
            }
        }
    }
}

TEST(GapList, DiskFormRoundTripsAndRefusesShortInput) {
    GapList list;
    load(list, {{60, 100}, {0, 10}});
    i4_ram_file_class out(nullptr, 0, 64);
    ASSERT_TRUE(list.toDisk(out));
    std::vector<uint8_t> bytes((uint8_t*)out.get_buffer(), (uint8_t*)out.get_buffer() + out.size());
    i4_free(out.get_buffer());
    std::vector<uint8_t> expected = {2, 0, 60, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 10, 0, 0, 0};
    EXPECT_EQ(expected, bytes);

    GapList back;
    i4_ram_file_class in(bytes.data(), (int32_t)bytes.size(), 0);
    ASSERT_TRUE(back.fromDisk(in));
    EXPECT_EQ("[60,100)[0,10)", text(listOf(back)));

    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    i4_ram_file_class shortIn(cut.data(), (int32_t)cut.size(), 0);
    EXPECT_FALSE(back.fromDisk(shortIn));
    EXPECT_TRUE(back.isEmpty());
    // A count far beyond the bytes is refused before anything is read.
    std::vector<uint8_t> huge = {0xFF, 0xFF, 1, 2, 3};
    i4_ram_file_class hugeIn(huge.data(), (int32_t)huge.size(), 0);
    EXPECT_FALSE(back.fromDisk(hugeIn));
}

TEST(GapList, DumpPrintsPositionsAndBounds) {
    CapturedUI ui;
    GapList list;
    load(list, {{5, 9}, {20, 30}});
    list.dump();
    EXPECT_EQ("\n#   (start- end)\n(1) (5-9)\n(2) (20-30)\n\n\n", ui.text());
}

}  // namespace
