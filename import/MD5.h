// MD5 digest (RFC 1321). Any thread; one context is used by one thread at a time.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "i4min/string/i4_string.h"

class i4_file;

class MD5 {
public:
    enum { DIGEST_SIZE = 16, BLOCK_SIZE = 64 };

    MD5() { init(); }
    void init();
    void update(const void* data, size_t n);
    // Closes the message and writes the digest; init() before reusing the context.
    void final(uint8_t digest[DIGEST_SIZE]);

    static void digest(const void* data, size_t n, uint8_t out[DIGEST_SIZE]);
    // The whole file from offset 0 as 32 lower-case hex digits; empty when a read
    // fails.
    static i4_string fileHex(i4_file& f);

private:
    void transform(const uint8_t* block);

    uint32_t state[4];
    uint64_t byteCount;
    uint8_t buffer[BLOCK_SIZE];
};
