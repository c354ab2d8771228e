// MD4 digest (RFC 1320). Any thread; one context is used by one thread at a time.
#pragma once

#include <stddef.h>
#include <stdint.h>

class MD4 {
public:
    enum { DIGEST_SIZE = 16, BLOCK_SIZE = 64 };

    MD4() { init(); }
    void init();
    void update(const void* data, size_t n);
    // Closes the message and writes the digest; init() before reusing the context.
    void final(uint8_t digest[DIGEST_SIZE]);

    // Feeds the same bytes to two contexts at once. Both must hold the same number of
    // buffered bytes (count mod 64), which is so whenever both started on a 64-byte
    // boundary of the data they share; the two block chains then run interleaved.
    static void updateBoth(MD4& a, MD4& b, const void* data, size_t n);

    static void digest(const void* data, size_t n, uint8_t out[DIGEST_SIZE]);

private:
    static void transform(uint32_t state[4], const uint8_t* blocks, size_t count);
    static void transform2(uint32_t a[4], uint32_t b[4], const uint8_t* blocks, size_t count);

    uint32_t state[4];
    uint64_t byteCount;
    uint8_t buffer[BLOCK_SIZE];
};

// Digest helpers kept beside the digest they serve.
void md4String(uint8_t digest[MD4::DIGEST_SIZE], const char* text);
// MD4 of a whole file; false when it cannot be opened or read.
bool md4File(uint8_t digest[MD4::DIGEST_SIZE], const char* path);
// 32 lowercase hexadecimal digits and a terminator into out (33 bytes).
char* md4Hex(const uint8_t digest[MD4::DIGEST_SIZE], char out[33]);
// Print on standard output.
void md4Print(const uint8_t digest[MD4::DIGEST_SIZE]);
void md4PrintString(const char* text);
// "MD4 (<path>) = <digest>", or that the file cannot be opened.
void md4PrintFile(const char* path);
