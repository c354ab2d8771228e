#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "util/BoolArray.h"

namespace {

std::vector<uint8_t> stored(const BoolArray& a) {
    i4_ram_file_class f(nullptr, 0, 64);
    int32_t written = a.write(f);
    EXPECT_EQ(written, static_cast<int32_t>(f.size()));
    std::vector<uint8_t> out(static_cast<size_t>(f.size()));
    if (!out.empty()) memcpy(out.data(), f.get_buffer(), out.size());
    i4_free(f.get_buffer());
    return out;
}

std::string errorOf(void (*fn)()) {
    try {
        fn();
    } catch (const i4_err& e) {
        return e.message();
    }
    return "(no error)";
}

TEST(BoolArray, StoredFormTable) {
    struct Case {
        uint32_t bits;
        std::vector<uint32_t> set;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {0, {}, {0x00, 0x00}},
        {1, {0}, {0x01, 0x00, 0x01}},
        {8, {}, {0x08, 0x00, 0x00, 0x00}},
        {8, {7}, {0x08, 0x00, 0x80, 0x00}},
        {16, {9}, {0x10, 0x00, 0x00, 0x02, 0x00}},
        {10, {0, 3, 9}, {0x0A, 0x00, 0x09, 0x02}},
        {300, {299}, {}},  // filled below: 0x2C 0x01, 38 bytes
    };
    for (const Case& c : cases) {
        BoolArray a(c.bits);
        for (uint32_t i : c.set) a.set(i, 1);
        std::vector<uint8_t> want = c.bytes;
        if (c.bits == 300) {
            want.assign(2 + 38, 0);
            want[0] = 0x2C;
            want[1] = 0x01;
            want[2 + 299 / 8] = 1 << (299 % 8);
        }
        EXPECT_EQ(stored(a), want) << c.bits << " bits";
        EXPECT_EQ(a.diskSize(), c.bits / 8 + 3);

        // The stored form reads back into the same bits.
        i4_ram_file_class in(want.data(), static_cast<int32_t>(want.size()), 0);
        BoolArray b(3);
        b.read(in);
        ASSERT_EQ(b.size(), c.bits);
        for (uint32_t i = 0; i < c.bits; i++) EXPECT_EQ(b.get(i), a.get(i)) << i;
        EXPECT_EQ(in.tell(), static_cast<int64_t>(want.size()));
    }
}

TEST(BoolArray, WriteRefusesMoreBitsThanTheCountFieldHolds) {
    BoolArray ok(65535);
    EXPECT_EQ(stored(ok).size(), 2u + 65535 / 8 + 1);

    BoolArray big(65536);
    i4_ram_file_class f(nullptr, 0, 64);
    EXPECT_EQ(big.write(f), -1);
    EXPECT_EQ(f.size(), 0);
    i4_free(f.get_buffer());
}

TEST(BoolArray, ShortReadKeepsTheCountAndLeavesTheRestZero) {
    uint8_t in[] = {0x20, 0x00, 0xFF};  // 32 bits promised, one byte given
    i4_ram_file_class f(in, sizeof in, 0);
    BoolArray a;
    EXPECT_EQ(a.read(f), 1);
    ASSERT_EQ(a.size(), 32u);
    EXPECT_EQ(a.bytes()[0], 0xFF);
    for (uint32_t i = 8; i < 32; i++) EXPECT_EQ(a.get(i), 0);
}

TEST(BoolArray, FlagsConstructorAndBitMasks) {
    const uint8_t flags[] = {0, 7, 0, 0, 0, 0, 0, 0, 0, 1};
    BoolArray a(flags, 10);
    char text[11];
    a.toString(text, 10);
    EXPECT_STREQ(text, "0100000001");
    EXPECT_EQ(a.bytes()[0], 0x02);
    EXPECT_EQ(a.bytes()[1], 0x02);
}

TEST(BoolArray, FillAllToStringAssign) {
    BoolArray a(10);
    EXPECT_TRUE(a.all(0));
    EXPECT_FALSE(a.all(1));
    a.fill(1);
    EXPECT_TRUE(a.all(1));
    char text[5];
    a.toString(text, 4);
    EXPECT_STREQ(text, "1111");
    a.set(4, 0);
    EXPECT_FALSE(a.all(1));

    a.assign(nullptr);
    EXPECT_EQ(a.size(), 10u);
    EXPECT_TRUE(a.all(0));

    BoolArray b(20);
    b.set(19, 1);
    a.assign(&b);
    EXPECT_EQ(a.size(), 20u);
    EXPECT_EQ(a.get(19), 1);
    b.set(19, 0);
    EXPECT_EQ(a.get(19), 1) << "assign copies, it does not share";

    BoolArray empty;
    EXPECT_TRUE(empty.all(1));
    empty.fill(1);
    EXPECT_EQ(empty.bytes(), nullptr);
}

TEST(BoolArray, OutOfBoundsIsReported) {
    EXPECT_EQ(errorOf([] { BoolArray(10).get(10); }), "boolarray out of bounds");
    EXPECT_EQ(errorOf([] { BoolArray(10).set(10, 1); }), "boolarray out of bounds");
    EXPECT_EQ(errorOf([] { BoolArray().get(0); }), "boolarray out of bounds");
}

TEST(BoolArray, CountFieldMissingIsReported) {
    uint8_t in[] = {0x05};
    i4_ram_file_class f(in, sizeof in, 0);
    BoolArray a;
    EXPECT_THROW(a.read(f), i4_err);
}

TEST(BoolArray, RandomizeStaysInsideTheCount) {
    BoolArray a(13);
    a.randomize();
    // Spare bits of the last byte stay clear: they would show up in the
    // stored form otherwise.
    EXPECT_EQ(a.bytes()[1] & 0xE0, 0);
}

}  // namespace
