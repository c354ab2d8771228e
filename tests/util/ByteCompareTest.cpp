// The tests' byte comparison: it fails exactly when the bytes differ, and its message
// names the first difference and stays a few lines long whatever the buffers' size.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/ByteCompare.h"

namespace {

std::string failureOf(const std::string& expected, const std::string& actual) {
    ::testing::AssertionResult r = bytecompare::bytesEqual("e", "a", expected, actual);
    return r ? "" : r.message();
}

TEST(ByteCompare, FailsOnTheFirstDifferenceWithBothLengthsAndAWindowOfEach) {
    std::string big(1 << 20, 'x');
    std::string other = big;
    other[700000] = 'Y';
    struct Case {
        const char* what;
        std::string expected, actual;
        std::vector<std::string> lines;  // "" when equal
    } table[] = {
        {"equal", "abc", "abc", {}},
        {"both empty", "", "", {}},
        {"a NUL counts",
         std::string("a\0b", 3),
         std::string("a\0c", 3),
         {"e and a differ at offset 2", "  lengths: 3 expected, 3 actual",
          "  expected @0: 61 00 [62]  |a.b|", "  actual   @0: 61 00 [63]  |a.c|"}},
        {"actual shorter",
         "abcd",
         "ab",
         {"e and a differ at offset 2", "  lengths: 4 expected, 2 actual",
          "  expected @0: 61 62 [63] 64  |abcd|", "  actual   @0: 61 62 [end]  |ab|"}},
        {"expected empty",
         "",
         "z",
         {"e and a differ at offset 0", "  lengths: 0 expected, 1 actual",
          "  expected @0: [end]  ||", "  actual   @0: [7a]  |z|"}},
        {"deep in a megabyte",
         big,
         other,
         {"e and a differ at offset 700000", "  lengths: 1048576 expected, 1048576 actual",
          "  expected @699992: 78 78 78 78 78 78 78 78 [78] 78 78 78 78 78 78 78 78 78 78 78 78 "
          "78 78 78 ...  |xxxxxxxxxxxxxxxxxxxxxxxx|",
          "  actual   @699992: 78 78 78 78 78 78 78 78 [59] 78 78 78 78 78 78 78 78 78 78 78 78 "
          "78 78 78 ...  |xxxxxxxxYxxxxxxxxxxxxxxx|"}},
    };
    for (const Case& c : table) {
        std::string want;
        for (const std::string& l : c.lines) want += (want.empty() ? "" : "\n") + l;
        EXPECT_EQ(want, failureOf(c.expected, c.actual)) << c.what;
    }
}

TEST(ByteCompare, TakesStringsLiteralsAndVectorsAlike) {
    std::vector<uint8_t> bytes = {'h', 'i'};
    std::vector<char> chars = {'h', 'i'};
    EXPECT_BYTES_EQ("hi", bytes);
    EXPECT_BYTES_EQ(std::string("hi"), chars);
    EXPECT_FALSE(bytecompare::bytesEqual("e", "a", bytes, "ho"));
    EXPECT_FALSE(bytecompare::bytesEqual("e", "a", chars, std::vector<uint8_t>{}));
}

}  // namespace
