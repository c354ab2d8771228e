#include "i4min/file/i4_field_reader.h"

#include <cstring>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"

i4_field_reader::i4_field_reader(i4_file& file) : f(file), end(-1) {}

int64_t i4_field_reader::position() {
    return f.tell();
}

int64_t i4_field_reader::left() {
    if (end < 0) end = f.size();
    int64_t at = f.tell();
    return end > at ? end - at : 0;
}

void i4_field_reader::need(int64_t n) {
    if (n < 0 || n > left()) I4_ERROR("field past the end of the input");
}

uint8_t i4_field_reader::u8() {
    return f.read_8();
}

uint16_t i4_field_reader::u16() {
    return f.read_16();
}

uint32_t i4_field_reader::u32() {
    return f.read_32();
}

uint64_t i4_field_reader::u64() {
    return f.read_64();
}

float i4_field_reader::f32() {
    uint32_t bits = f.read_32();
    float v;
    memcpy(&v, &bits, sizeof v);
    return v;
}

void i4_field_reader::bytes(void* out, int64_t n) {
    if (n == 0) return;
    need(n);
    uint8_t* p = static_cast<uint8_t*>(out);
    // readAll moves at most 2^31-1 bytes a call.
    while (n > 0) {
        int32_t step = n > 0x40000000 ? 0x40000000 : (int32_t)n;
        f.readAll(p, step);
        p += step;
        n -= step;
    }
}

std::vector<uint8_t> i4_field_reader::block(int64_t n, int64_t cap) {
    if (n < 0 || n > cap) I4_ERROR("field longer than its cap");
    need(n);
    std::vector<uint8_t> out((size_t)n);
    bytes(out.data(), n);
    return out;
}

uint32_t i4_field_reader::count32(uint32_t cap, int64_t minItemBytes) {
    uint32_t n = f.read_32();
    if (n > cap) I4_ERROR("count above its cap");
    if (minItemBytes > 0) need((int64_t)n * minItemBytes);
    return n;
}

void i4_field_reader::text(int keep, i4_string& out) {
    uint16_t len = f.read_16();
    if (len == 0xFFFF) I4_ERROR("read string error");
    need(len);
    if (keep < 0) keep = 0;
    if (keep > len) keep = len;
    std::vector<char> t((size_t)keep + 1, 0);
    bytes(t.data(), keep);
    skip(len - keep);
    out.assign(t.data());
}

void i4_field_reader::skip(int64_t n) {
    if (n == 0) return;
    need(n);
    int64_t to = f.tell() + n;
    if (f.seek(to) != to) I4_ERROR("seek past the end of the input");
}
