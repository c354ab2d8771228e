// One thread at a time, like the file it writes.
#pragma once

#include <cstdint>

class i4_file;

// Writes little-endian fields; a write that the file takes short throws i4_err ("write
// error"), which the writer's caller turns into false in one place (Serializable::checked for
// records), so a record's writer is a plain sequence of fields.
class i4_field_writer {
public:
    explicit i4_field_writer(i4_file& f) : f(f) {}

    void u8(uint8_t v);
    void u16(uint16_t v);
    void u32(uint32_t v);
    void u64(uint64_t v);
    void f32(float v);
    void bytes(const void* data, int32_t n);
    i4_file& file() { return f; }

private:
    i4_file& f;
};
