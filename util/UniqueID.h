// Threads: any; the functions keep no state (randomize shares the process's
// random generator, which has no lock).
#pragma once

#include <cstdint>

class i4_file;

// A 16-byte identifier (file hash, user hash), handled in place. Bits are
// numbered 0..127 from the most significant bit of byte 0. Stored form: the
// 16 bytes as they are. Text form: 32 lower-case hex digits in byte order.
class UniqueID {
public:
    static const int SIZE = 16;

    static void clear(uint8_t* id);
    static bool isZero(const uint8_t* id);
    static bool equals(const uint8_t* a, const uint8_t* b);
    static void copy(uint8_t* to, const uint8_t* from);
    static void randomize(uint8_t* id);
    // 0 for i above 127.
    static int getBit(const uint8_t* id, uint32_t i);
    // Ignored for i above 127.
    static void setBit(uint8_t* id, uint32_t i, int value);
    static int32_t write(const uint8_t* id, i4_file& f);
    static int32_t read(uint8_t* id, i4_file& f);
    // 32 hex digits and a terminator in a buffer from i4_malloc; the caller
    // frees it with i4_free.
    static char* toHex(const uint8_t* id);
    // 1 when the text is exactly 32 hex digits (either case); otherwise 0
    // and the id is unchanged.
    static int fromHex(uint8_t* id, const char* text);
    // '1'/'0' for bits 0 .. min(len - 1, 128) - 1, then a terminator.
    static void toBitText(const uint8_t* id, char* buffer, uint32_t len);
    // Sum of 2^(126 - i) over the differing bits i.
    static double distance(const uint8_t* a, const uint8_t* b);
};
