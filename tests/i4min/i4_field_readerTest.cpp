#include <functional>
#include <gtest/gtest.h>
#include <string>

#include "i4_test_util.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_string.h"

namespace {

// A reader over fixed bytes, and what reading one field did: its value, or the error.
struct Over {
    explicit Over(const std::string& b)
        : bytes(b), file((void*)bytes.data(), (int32_t)b.size(), 0) {}
    std::string bytes;
    i4_ram_file_class file;
};

TEST(i4_field_reader, FixedFieldsAreLittleEndianAndShortInputThrows) {
    Over o(
        std::string("\x01\x34\x12\x78\x56\x34\x12\x08\x07\x06\x05\x04\x03\x02\x01"
                    "\x00\x00\xc0\x3f\x09",
                    20));
    i4_field_reader in(o.file);
    EXPECT_EQ(0x01, in.u8());
    EXPECT_EQ(0x1234, in.u16());
    EXPECT_EQ(0x12345678u, in.u32());
    EXPECT_EQ(0x0102030405060708ull, in.u64());
    EXPECT_EQ(1.5f, in.f32());
    EXPECT_EQ(1, in.left());
    EXPECT_EQ("read_16 error", error_of([&] { in.u16(); }));
}

// Every length and count is held against what the input still has before anything is read or
// allocated: a 4 GiB count over ten bytes is refused, not attempted.
TEST(i4_field_reader, LengthsAndCountsAreCheckedAgainstTheBytesAtHand) {
    const struct {
        const char* what;
        std::string bytes;
        std::function<std::string(i4_field_reader&)> read;
        std::string result;
    } cases[] = {
        {"a count whose items fit", std::string("\x02\0\0\0abcdefgh", 12),
         [](i4_field_reader& in) { return std::to_string(in.count32(10, 4)); }, "2"},
        {"a count whose items do not fit", std::string("\x03\0\0\0abcdefgh", 12),
         [](i4_field_reader& in) { return std::to_string(in.count32(10, 4)); },
         "field past the end of the input"},
        {"a count above its cap", std::string("\x0b\0\0\0", 4),
         [](i4_field_reader& in) { return std::to_string(in.count32(10, 0)); },
         "count above its cap"},
        {"a huge count", std::string("\xff\xff\xff\xff", 4) + std::string(6, 'x'),
         [](i4_field_reader& in) { return std::to_string(in.count32(0xffffffffu, 1)); },
         "field past the end of the input"},
        {"a block within its cap", "abcd",
         [](i4_field_reader& in) {
             std::vector<uint8_t> b = in.block(3, 3);
             return std::string(b.begin(), b.end());
         },
         "abc"},
        {"a block past its cap", "abcd",
         [](i4_field_reader& in) { return std::to_string(in.block(4, 3).size()); },
         "field longer than its cap"},
        {"a block past the end", "abcd",
         [](i4_field_reader& in) { return std::to_string(in.block(5, 100).size()); },
         "field past the end of the input"},
        {"a text kept whole", std::string("\3\0abcX", 6),
         [](i4_field_reader& in) {
             i4_string s;
             in.text(10, s);
             return std::string(s.c_str()) + "+" + std::to_string(in.u8());
         },
         "abc+88"},
        {"a text cut, the rest skipped", std::string("\5\0abcdeX", 8),
         [](i4_field_reader& in) {
             i4_string s;
             in.text(2, s);
             return std::string(s.c_str()) + "+" + std::to_string(in.u8());
         },
         "ab+88"},
        {"a text past the end",
         std::string("\x40\x9c"
                     "abc",
                     5),
         [](i4_field_reader& in) {
             i4_string s;
             in.text(2, s);
             return std::string(s.c_str());
         },
         "field past the end of the input"},
        {"a text of length 0xFFFF", std::string("\xff\xff") + std::string(70000, 'a'),
         [](i4_field_reader& in) {
             i4_string s;
             in.text(2, s);
             return std::string(s.c_str());
         },
         "read string error"},
        {"a skip past the end", "abc",
         [](i4_field_reader& in) {
             in.skip(4);
             return std::string("skipped");
         },
         "field past the end of the input"},
    };
    for (const auto& c : cases) {
        Over o(c.bytes);
        i4_field_reader in(o.file);
        std::string got;
        std::string err = error_of([&] { got = c.read(in); });
        EXPECT_EQ(c.result, err == "(no error)" ? got : err) << c.what;
    }
}

}  // namespace
