#include "i4min/file/i4_field_writer.h"

#include <cstring>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"

namespace {
void check(int32_t wrote, int32_t wanted) {
    if (wrote != wanted) I4_ERROR("write error");
}
}  // namespace

void i4_field_writer::u8(uint8_t v) {
    check(f.write_8(v), 1);
}

void i4_field_writer::u16(uint16_t v) {
    check(f.write_16(v), 2);
}

void i4_field_writer::u32(uint32_t v) {
    check(f.write_32(v), 4);
}

void i4_field_writer::u64(uint64_t v) {
    check(f.write_64(v), 8);
}

void i4_field_writer::f32(float v) {
    uint32_t bits;
    memcpy(&bits, &v, sizeof bits);
    u32(bits);
}

void i4_field_writer::bytes(const void* data, int32_t n) {
    if (n > 0) check(f.write(data, n), n);
}
