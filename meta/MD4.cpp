#include "meta/MD4.h"

#include <string.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_string.h"

namespace {

inline uint32_t rotl(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

inline uint32_t load32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

inline void store32(uint8_t* p, uint32_t v) {
    p[0] = (uint8_t)v;
    p[1] = (uint8_t)(v >> 8);
    p[2] = (uint8_t)(v >> 16);
    p[3] = (uint8_t)(v >> 24);
}

// x is always the value the previous step made, so each form keeps x's
// path short: the terms of y and z alone are summed while x is still being made.
#define MD4_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD4_H(x, y, z) ((x) ^ ((y) ^ (z)))

#define R1(a, b, c, d, k, s) a = rotl((a + X[k]) + MD4_F(b, c, d), s)
// The majority of x, y, z is (y & z) + (x & (y ^ z)): the two terms never share a set bit.
#define R2(a, b, c, d, k, s) \
    a = rotl((a + X[k] + 0x5A827999u + ((c) & (d))) + ((b) & ((c) ^ (d))), s)
#define R3(a, b, c, d, k, s) a = rotl((a + X[k] + 0x6ED9EBA1u) + MD4_H(b, c, d), s)

// The two-chain forms: each step of chain 1 is followed by the same step of chain 2,
// so the processor overlaps two dependency chains instead of waiting on one.
#define D1(a, b, c, d, k, s)          \
    R1(a##1, b##1, c##1, d##1, k, s); \
    R1(a##2, b##2, c##2, d##2, k, s)
#define D2(a, b, c, d, k, s)          \
    R2(a##1, b##1, c##1, d##1, k, s); \
    R2(a##2, b##2, c##2, d##2, k, s)
#define D3(a, b, c, d, k, s)          \
    R3(a##1, b##1, c##1, d##1, k, s); \
    R3(a##2, b##2, c##2, d##2, k, s)

#define ROUNDS(S1, S2, S3)  \
    S1(a, b, c, d, 0, 3);   \
    S1(d, a, b, c, 1, 7);   \
    S1(c, d, a, b, 2, 11);  \
    S1(b, c, d, a, 3, 19);  \
    S1(a, b, c, d, 4, 3);   \
    S1(d, a, b, c, 5, 7);   \
    S1(c, d, a, b, 6, 11);  \
    S1(b, c, d, a, 7, 19);  \
    S1(a, b, c, d, 8, 3);   \
    S1(d, a, b, c, 9, 7);   \
    S1(c, d, a, b, 10, 11); \
    S1(b, c, d, a, 11, 19); \
    S1(a, b, c, d, 12, 3);  \
    S1(d, a, b, c, 13, 7);  \
    S1(c, d, a, b, 14, 11); \
    S1(b, c, d, a, 15, 19); \
    S2(a, b, c, d, 0, 3);   \
    S2(d, a, b, c, 4, 5);   \
    S2(c, d, a, b, 8, 9);   \
    S2(b, c, d, a, 12, 13); \
    S2(a, b, c, d, 1, 3);   \
    S2(d, a, b, c, 5, 5);   \
    S2(c, d, a, b, 9, 9);   \
    S2(b, c, d, a, 13, 13); \
    S2(a, b, c, d, 2, 3);   \
    S2(d, a, b, c, 6, 5);   \
    S2(c, d, a, b, 10, 9);  \
    S2(b, c, d, a, 14, 13); \
    S2(a, b, c, d, 3, 3);   \
    S2(d, a, b, c, 7, 5);   \
    S2(c, d, a, b, 11, 9);  \
    S2(b, c, d, a, 15, 13); \
    S3(a, b, c, d, 0, 3);   \
    S3(d, a, b, c, 8, 9);   \
    S3(c, d, a, b, 4, 11);  \
    S3(b, c, d, a, 12, 15); \
    S3(a, b, c, d, 2, 3);   \
    S3(d, a, b, c, 10, 9);  \
    S3(c, d, a, b, 6, 11);  \
    S3(b, c, d, a, 14, 15); \
    S3(a, b, c, d, 1, 3);   \
    S3(d, a, b, c, 9, 9);   \
    S3(c, d, a, b, 5, 11);  \
    S3(b, c, d, a, 13, 15); \
    S3(a, b, c, d, 3, 3);   \
    S3(d, a, b, c, 11, 9);  \
    S3(c, d, a, b, 7, 11);  \
    S3(b, c, d, a, 15, 15)

}  // namespace

void MD4::init() {
    state[0] = 0x67452301u;
    state[1] = 0xefcdab89u;
    state[2] = 0x98badcfeu;
    state[3] = 0x10325476u;
    byteCount = 0;
}

void MD4::transform(uint32_t st[4], const uint8_t* p, size_t count) {
    uint32_t a = st[0], b = st[1], c = st[2], d = st[3];
    for (; count > 0; --count, p += BLOCK_SIZE) {
        uint32_t X[16];
        for (int i = 0; i < 16; ++i) X[i] = load32(p + 4 * i);
        uint32_t aa = a, bb = b, cc = c, dd = d;
        ROUNDS(R1, R2, R3);
        a += aa;
        b += bb;
        c += cc;
        d += dd;
    }
    st[0] = a;
    st[1] = b;
    st[2] = c;
    st[3] = d;
}

void MD4::transform2(uint32_t s1[4], uint32_t s2[4], const uint8_t* p, size_t count) {
    uint32_t a1 = s1[0], b1 = s1[1], c1 = s1[2], d1 = s1[3];
    uint32_t a2 = s2[0], b2 = s2[1], c2 = s2[2], d2 = s2[3];
    for (; count > 0; --count, p += BLOCK_SIZE) {
        uint32_t X[16];
        for (int i = 0; i < 16; ++i) X[i] = load32(p + 4 * i);
        uint32_t aa1 = a1, bb1 = b1, cc1 = c1, dd1 = d1;
        uint32_t aa2 = a2, bb2 = b2, cc2 = c2, dd2 = d2;
        ROUNDS(D1, D2, D3);
        a1 += aa1;
        b1 += bb1;
        c1 += cc1;
        d1 += dd1;
        a2 += aa2;
        b2 += bb2;
        c2 += cc2;
        d2 += dd2;
    }
    s1[0] = a1;
    s1[1] = b1;
    s1[2] = c1;
    s1[3] = d1;
    s2[0] = a2;
    s2[1] = b2;
    s2[2] = c2;
    s2[3] = d2;
}

void MD4::update(const void* data, size_t n) {
    const uint8_t* p = (const uint8_t*)data;
    size_t used = (size_t)(byteCount % BLOCK_SIZE);
    byteCount += n;
    if (used) {
        size_t take = BLOCK_SIZE - used;
        if (n < take) {
            memcpy(buffer + used, p, n);
            return;
        }
        memcpy(buffer + used, p, take);
        transform(state, buffer, 1);
        p += take;
        n -= take;
    }
    size_t blocks = n / BLOCK_SIZE;
    if (blocks) {
        transform(state, p, blocks);
        p += blocks * BLOCK_SIZE;
        n -= blocks * BLOCK_SIZE;
    }
    if (n) memcpy(buffer, p, n);
}

void MD4::updateBoth(MD4& x, MD4& y, const void* data, size_t n) {
    if (&x == &y || x.byteCount % BLOCK_SIZE != y.byteCount % BLOCK_SIZE) {
        x.update(data, n);
        y.update(data, n);
        return;
    }
    const uint8_t* p = (const uint8_t*)data;
    size_t used = (size_t)(x.byteCount % BLOCK_SIZE);
    if (used) {
        size_t take = BLOCK_SIZE - used;
        if (take > n) take = n;
        x.update(p, take);
        y.update(p, take);
        p += take;
        n -= take;
    }
    size_t blocks = n / BLOCK_SIZE;
    if (blocks) {
        transform2(x.state, y.state, p, blocks);
        x.byteCount += blocks * BLOCK_SIZE;
        y.byteCount += blocks * BLOCK_SIZE;
        p += blocks * BLOCK_SIZE;
        n -= blocks * BLOCK_SIZE;
    }
    if (n) {
        x.update(p, n);
        y.update(p, n);
    }
}

void MD4::final(uint8_t digest[DIGEST_SIZE]) {
    uint64_t bits = byteCount * 8;
    size_t used = (size_t)(byteCount % BLOCK_SIZE);
    size_t pad = (used < 56) ? 56 - used : 120 - used;
    uint8_t tail[72];
    memset(tail, 0, sizeof tail);
    tail[0] = 0x80;
    store32(tail + pad, (uint32_t)bits);
    store32(tail + pad + 4, (uint32_t)(bits >> 32));
    update(tail, pad + 8);
    for (int i = 0; i < 4; ++i) store32(digest + 4 * i, state[i]);
}

void MD4::digest(const void* data, size_t n, uint8_t out[DIGEST_SIZE]) {
    MD4 ctx;
    ctx.update(data, n);
    ctx.final(out);
}

void md4String(uint8_t digest[MD4::DIGEST_SIZE], const char* text) {
    MD4::digest(text, text ? strlen(text) : 0, digest);
}

char* md4Hex(const uint8_t digest[MD4::DIGEST_SIZE], char out[33]) {
    static const char hex[] = "0123456789abcdef";
    for (int i = 0; i < MD4::DIGEST_SIZE; ++i) {
        out[2 * i] = hex[digest[i] >> 4];
        out[2 * i + 1] = hex[digest[i] & 15];
    }
    out[32] = 0;
    return out;
}

bool md4File(uint8_t digest[MD4::DIGEST_SIZE], const char* path) {
    i4_file* f = i4_open(path, I4_READ);
    if (!f) return false;
    uint8_t* buf = (uint8_t*)i4_malloc(64 * 1024);
    MD4 ctx;
    int32_t n;
    while ((n = f->read(buf, 64 * 1024)) > 0) ctx.update(buf, (size_t)n);
    i4_free(buf);
    delete f;
    ctx.final(digest);
    return n == 0;
}

void md4Print(const uint8_t digest[MD4::DIGEST_SIZE]) {
    char hex[33];
    i4_printf("%s", md4Hex(digest, hex));
}

void md4PrintString(const char* text) {
    uint8_t d[MD4::DIGEST_SIZE];
    md4String(d, text);
    i4_printf("MD4 (\"%s\") = ", text);
    md4Print(d);
    i4_printf("\n");
}

void md4PrintFile(const char* path) {
    uint8_t d[MD4::DIGEST_SIZE];
    if (!md4File(d, path)) {
        i4_printf("%s can't be opened\n", path);
        return;
    }
    char hex[33];
    i4_printf("MD4 (%s) = %s\n", path, md4Hex(d, hex));
}
