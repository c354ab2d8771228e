#include "util/UniqueID.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "i4min/file/i4_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_string.h"

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void UniqueID::clear(uint8_t* id) {
    memset(id, 0, SIZE);
}

bool UniqueID::isZero(const uint8_t* id) {
    for (int i = 0; i < SIZE; i++)
        if (id[i]) return false;
    return true;
}

bool UniqueID::equals(const uint8_t* a, const uint8_t* b) {
    return i4memcmp(a, b, SIZE) == 0;
}

void UniqueID::copy(uint8_t* to, const uint8_t* from) {
    memmove(to, from, SIZE);
}

void UniqueID::randomize(uint8_t* id) {
    for (int i = 0; i < SIZE; i++) id[i] = static_cast<uint8_t>(rand() & 0xFF);
}

int UniqueID::getBit(const uint8_t* id, uint32_t i) {
    if (i > 127) return 0;
    return (id[i / 8] & (0x80 >> (i % 8))) ? 1 : 0;
}

void UniqueID::setBit(uint8_t* id, uint32_t i, int value) {
    if (i > 127) return;
    uint8_t mask = static_cast<uint8_t>(0x80 >> (i % 8));
    if (value)
        id[i / 8] |= mask;
    else
        id[i / 8] &= static_cast<uint8_t>(~mask);
}

int32_t UniqueID::write(const uint8_t* id, i4_file& f) {
    return f.write(id, SIZE);
}

int32_t UniqueID::read(uint8_t* id, i4_file& f) {
    return f.read(id, SIZE);
}

char* UniqueID::toHex(const uint8_t* id) {
    static const char digits[] = "0123456789abcdef";
    char* text = static_cast<char*>(i4_malloc(35));
    for (int i = 0; i < SIZE; i++) {
        text[2 * i] = digits[id[i] >> 4];
        text[2 * i + 1] = digits[id[i] & 0xF];
    }
    text[2 * SIZE] = 0;
    return text;
}

int UniqueID::fromHex(uint8_t* id, const char* text) {
    if (i4_strlen(text) != 2 * SIZE) return 0;
    uint8_t parsed[SIZE];
    for (int i = 0; i < SIZE; i++) {
        int hi = hexValue(text[2 * i]);
        int lo = hexValue(text[2 * i + 1]);
        // A stray character must not leave a made-up byte in a hash.
        if (hi < 0 || lo < 0) return 0;
        parsed[i] = static_cast<uint8_t>(hi << 4 | lo);
    }
    memcpy(id, parsed, SIZE);
    return 1;
}

void UniqueID::toBitText(const uint8_t* id, char* buffer, uint32_t len) {
    if (len == 0) return;
    uint32_t n = len - 1 < 128 ? len - 1 : 128;
    for (uint32_t i = 0; i < n; i++) buffer[i] = getBit(id, i) ? '1' : '0';
    buffer[n] = 0;
}

double UniqueID::distance(const uint8_t* a, const uint8_t* b) {
    double sum = 0;
    for (uint32_t i = 0; i < 128; i++)
        if (getBit(a, i) != getBit(b, i)) sum += std::ldexp(1.0, 126 - static_cast<int>(i));
    return sum;
}
