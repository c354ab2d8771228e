#include <gtest/gtest.h>
#include <string>

#include "i4_test_util.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_ram_file_class.h"

namespace {

TEST(i4_field_writer, AShortWriteThrows) {
    char room[5];
    i4_ram_file_class f(room, sizeof room, 0);
    i4_field_writer out(f);
    out.u32(0x04030201);
    EXPECT_EQ("write error", error_of([&] { out.u16(7); }));
    EXPECT_EQ(std::string("\x01\x02\x03\x04\x07", 5), std::string(room, 5));

    std::string all = bytes_written([](i4_file& g) {
        i4_field_writer w(g);
        w.u8(1);
        w.u16(0x0302);
        w.u64(0x0b0a090807060504ull);
        w.f32(1.5f);
        w.bytes("xy", 2);
    });
    EXPECT_EQ(std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\0\0\xc0\x3fxy", 17), all);
}

}  // namespace
