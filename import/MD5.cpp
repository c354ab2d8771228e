#include "import/MD5.h"

#include <string.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "i4min/memory/i4_memory.h"
#include "util/UniqueID.h"

namespace {

// floor(|sin(i + 1)| * 2^32), the additive constant of step i.
const uint32_t K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

const int SHIFT[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

inline uint32_t rotl(uint32_t x, int s) {
    return (x << s) | (x >> (32 - s));
}

inline uint32_t load32(const uint8_t* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

}  // namespace

void MD5::init() {
    state[0] = 0x67452301;
    state[1] = 0xefcdab89;
    state[2] = 0x98badcfe;
    state[3] = 0x10325476;
    byteCount = 0;
}

void MD5::transform(const uint8_t* block) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = load32(block + 4 * i);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        uint32_t f;
        int k;
        switch (i >> 4) {
        case 0:
            f = (b & c) | (~b & d);
            k = i;
            break;
        case 1:
            f = (d & b) | (~d & c);
            k = (5 * i + 1) & 15;
            break;
        case 2:
            f = b ^ c ^ d;
            k = (3 * i + 5) & 15;
            break;
        default:
            f = c ^ (b | ~d);
            k = (7 * i) & 15;
            break;
        }
        uint32_t next = b + rotl(a + f + K[i] + x[k], SHIFT[i >> 4][i & 3]);
        a = d;
        d = c;
        c = b;
        b = next;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

void MD5::update(const void* data, size_t n) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    size_t have = (size_t)(byteCount & (BLOCK_SIZE - 1));
    byteCount += n;
    if (have) {
        size_t take = BLOCK_SIZE - have < n ? BLOCK_SIZE - have : n;
        memcpy(buffer + have, p, take);
        p += take;
        n -= take;
        if (have + take < BLOCK_SIZE) return;
        transform(buffer);
    }
    for (; n >= BLOCK_SIZE; p += BLOCK_SIZE, n -= BLOCK_SIZE) transform(p);
    if (n) memcpy(buffer, p, n);
}

void MD5::final(uint8_t digest[DIGEST_SIZE]) {
    uint64_t bits = byteCount * 8;
    static const uint8_t pad[BLOCK_SIZE] = {0x80};
    size_t have = (size_t)(byteCount & (BLOCK_SIZE - 1));
    update(pad, have < 56 ? 56 - have : 120 - have);
    uint8_t length[8];
    for (int i = 0; i < 8; ++i) length[i] = (uint8_t)(bits >> (8 * i));
    update(length, 8);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) digest[4 * i + j] = (uint8_t)(state[i] >> (8 * j));
}

void MD5::digest(const void* data, size_t n, uint8_t out[DIGEST_SIZE]) {
    MD5 m;
    m.update(data, n);
    m.final(out);
}

i4_string MD5::fileHex(i4_file& f) {
    if (f.seek(0) != 0) return i4_string();
    MD5 m;
    std::vector<uint8_t> block(64 * 1024);
    for (;;) {
        int32_t r = f.read(block.data(), (int32_t)block.size());
        if (r < 0) return i4_string();
        if (r == 0) break;
        m.update(block.data(), (size_t)r);
    }
    uint8_t digest[DIGEST_SIZE];
    m.final(digest);
    char* hex = UniqueID::toHex(digest);
    i4_string text(hex);
    i4_free(hex);
    return text;
}
