#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

namespace {

TEST(i4_ram_file_class, FixedBufferCutsWrites) {
    char buf[10];
    i4_ram_file_class f(buf, 10, 0);
    EXPECT_EQ(f.size(), 10);
    EXPECT_EQ(f.write("0123456789abcde", 15), 10);
    EXPECT_EQ(f.write("x", 1), 0);
    EXPECT_EQ(f.tell(), 10);
    EXPECT_EQ(std::string(buf, 10), "0123456789");
    EXPECT_EQ(f.seek(50), 10);  // no growth: the capacity is the limit
    EXPECT_EQ(f.capacity(), 10);
}

TEST(i4_ram_file_class, GrowsInWholeSteps) {
    struct {
        int32_t start_capacity;
        int32_t grow;
        int32_t write;
        int64_t seek_to;
        int32_t capacity_after_write;
        int32_t capacity_after_seek;
    } cases[] = {
        {0, 512, 1000, 5000, 1024, 5120},
        {0, 512, 512, 512, 512, 512},
        {0, 512, 513, 1024, 1024, 1024},
        {0, 100, 1, 101, 100, 200},
        {0, 7, 0, 0, 0, 0},
    };
    for (auto& c : cases) {
        void* start = c.start_capacity ? i4_malloc(c.start_capacity) : nullptr;
        i4_ram_file_class f(start, c.start_capacity, c.grow);
        std::string data((size_t)c.write, 'd');
        EXPECT_EQ(f.write(data.data(), c.write), c.write);
        EXPECT_EQ(f.capacity(), c.capacity_after_write) << c.write;
        EXPECT_EQ(f.size(), c.write);
        EXPECT_EQ(f.seek(c.seek_to), c.seek_to);
        EXPECT_EQ(f.capacity(), c.capacity_after_seek) << c.seek_to;
        EXPECT_EQ(f.size(), c.seek_to > c.write ? c.seek_to : c.write);
        EXPECT_EQ(f.get_buffer(), f.memory_at(0));
        i4_free(f.get_buffer());
    }
}

TEST(i4_ram_file_class, GrowingKeepsContentsAndZeroesSkippedBytes) {
    i4_ram_file_class f(nullptr, 0, 8);
    f.write("abc", 3);
    f.seek(20);
    f.write("xyz", 3);
    EXPECT_EQ(f.size(), 23);
    f.seek(0);
    char back[23];
    EXPECT_EQ(f.read(back, 100), 23);
    EXPECT_EQ(std::string(back, 23), std::string("abc") + std::string(17, '\0') + "xyz");
    i4_free(f.get_buffer());
}

TEST(i4_ram_file_class, EmptyGrowingFileHasNoMemory) {
    i4_ram_file_class f(nullptr, 0, 64);
    EXPECT_EQ(f.size(), 0);
    EXPECT_EQ(f.memory_at(3), nullptr);
    char c;
    EXPECT_EQ(f.read(&c, 1), 0);
}

TEST(i4_ram_file_class, ReadsReceivedBytes) {
    char data[6] = {1, 2, 3, 4, 5, 6};
    i4_ram_file_class f(data, 6, 0);
    EXPECT_EQ(f.size(), 6);
    EXPECT_EQ(f.is_memory(), 1);
    EXPECT_EQ(f.read_32(), 0x04030201u);
    char rest[8];
    EXPECT_EQ(f.read(rest, 8), 2);
    EXPECT_EQ(f.read(rest, 8), 0);
    EXPECT_EQ(f.read(rest, -1), 0);
    EXPECT_EQ(f.seek(-3), 0);
    EXPECT_EQ(*(char*)f.memory_at(5), 6);
}

TEST(i4_ram_file_class, WriteMovesTheEndOnlyForward) {
    char buf[8] = {};
    i4_ram_file_class f(nullptr, 0, 4);
    f.write("abcdef", 6);
    f.seek(2);
    f.write("X", 1);
    EXPECT_EQ(f.size(), 6);
    EXPECT_EQ(f.tell(), 3);
    memcpy(buf, f.get_buffer(), 6);
    EXPECT_STREQ(buf, "abXdef");
    i4_free(f.get_buffer());
}

TEST(i4_ram_file_class, ResetAndClone) {
    char a[4] = {'a', 'b', 'c', 'd'};
    char b[2] = {'y', 'z'};
    i4_ram_file_class f(a, 4, 0);
    f.seek(3);
    i4_ram_file_class* c = f.clone();
    EXPECT_EQ(c->tell(), 3);
    EXPECT_EQ(c->read_8(), 'd');
    delete c;

    f.reset(b, 2, 0);
    EXPECT_EQ(f.tell(), 0);
    EXPECT_EQ(f.size(), 2);
    EXPECT_EQ(f.read_16(), 0x7a79);
}

TEST(i4_ram_file_class, TruncateCutsOnlyAndLaterHolesAreZeroed) {
    char a[6] = {'a', 'b', 'c', 'd', 'e', 'f'};
    i4_ram_file_class f(a, 6, 0);
    f.seek(5);
    f.truncate(8);  // never grows
    EXPECT_EQ(f.size(), 6);
    f.truncate(2);
    EXPECT_EQ(f.size(), 2);
    EXPECT_EQ(f.tell(), 2);
    // The buffer is kept: a seek past the new end zeroes what it skips.
    f.seek(4);
    EXPECT_EQ(f.size(), 4);
    EXPECT_EQ(0, memcmp(a, "ab\0\0ef", 6));
    f.truncate(-1);
    EXPECT_EQ(f.size(), 0);
    EXPECT_EQ(f.tell(), 0);
}

TEST(i4_ram_file_class, RefusesToGrowPastTwoGigabytes) {
    i4_ram_file_class f(nullptr, 0, 1 << 20);
    bool threw = false;
    try {
        f.seek(INT64_C(1) << 32);
    } catch (const i4_err& e) {
        threw = true;
        EXPECT_STREQ(e.message(), "out of memory");
    }
    EXPECT_TRUE(threw);
    EXPECT_EQ(f.capacity(), 0);
    i4_free(f.get_buffer());
}

}  // namespace
