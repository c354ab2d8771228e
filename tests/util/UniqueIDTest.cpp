#include <cmath>
#include <cstring>
#include <gtest/gtest.h>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "util/UniqueID.h"

namespace {

TEST(UniqueID, HexRoundTrip) {
    uint8_t id[16];
    for (int i = 0; i < 16; i++) id[i] = static_cast<uint8_t>(i);
    char* text = UniqueID::toHex(id);
    EXPECT_STREQ(text, "000102030405060708090a0b0c0d0e0f");
    uint8_t back[16] = {};
    EXPECT_EQ(UniqueID::fromHex(back, text), 1);
    EXPECT_TRUE(UniqueID::equals(id, back));
    i4_free(text);

    const uint8_t ff[16] = {0xFF, 0xAB, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x10};
    text = UniqueID::toHex(ff);
    EXPECT_STREQ(text, "ffab0000000000000000000000000010");
    i4_free(text);
}

TEST(UniqueID, FromHexTable) {
    struct Case {
        const char* text;
        int result;
        uint8_t first, last;
    };
    const Case cases[] = {
        {"000102030405060708090a0b0c0d0e0f", 1, 0x00, 0x0F},
        {"A0B1C2D3E4F5A6B7C8D9EAFBACBDCEDF", 1, 0xA0, 0xDF},   // upper case
        {"000102030405060708090a0b0c0d0e0", 0, 0xEE, 0xEE},    // 31 digits
        {"000102030405060708090a0b0c0d0e0f0", 0, 0xEE, 0xEE},  // 33 digits
        {"", 0, 0xEE, 0xEE},
        {nullptr, 0, 0xEE, 0xEE},
        {"g00102030405060708090a0b0c0d0e0f", 0, 0xEE, 0xEE},  // not hex
        {"0g0102030405060708090a0b0c0d0e0f", 0, 0xEE, 0xEE},  // second digit bad
        {"00010203040506070809 a0b0c0d0e0f", 0, 0xEE, 0xEE},  // blank inside
        {"+1010203040506070809a0a0b0c0d0e0", 0, 0xEE, 0xEE},  // sign
        {"0x0102030405060708090a0b0c0d0e0f", 0, 0xEE, 0xEE},  // prefix
    };
    for (const Case& c : cases) {
        uint8_t id[16];
        memset(id, 0xEE, sizeof id);
        EXPECT_EQ(UniqueID::fromHex(id, c.text), c.result) << (c.text ? c.text : "(null)");
        EXPECT_EQ(id[0], c.first) << (c.text ? c.text : "(null)");
        EXPECT_EQ(id[15], c.last) << (c.text ? c.text : "(null)");
    }
}

TEST(UniqueID, BitsAreNumberedFromTheTopOfByteZero) {
    uint8_t id[16] = {};
    const struct {
        uint32_t bit;
        int byte;
        uint8_t mask;
    } cases[] = {{0, 0, 0x80}, {7, 0, 0x01}, {8, 1, 0x80}, {127, 15, 0x01}, {100, 12, 0x08}};
    for (const auto& c : cases) {
        UniqueID::clear(id);
        UniqueID::setBit(id, c.bit, 1);
        EXPECT_EQ(id[c.byte], c.mask) << c.bit;
        EXPECT_EQ(UniqueID::getBit(id, c.bit), 1);
        UniqueID::setBit(id, c.bit, 0);
        EXPECT_TRUE(UniqueID::isZero(id));
    }
    memset(id, 0xFF, sizeof id);
    EXPECT_EQ(UniqueID::getBit(id, 128), 0);
    UniqueID::clear(id);
    UniqueID::setBit(id, 128, 1);
    EXPECT_TRUE(UniqueID::isZero(id));
}

TEST(UniqueID, BitTextAndDistance) {
    uint8_t a[16] = {0xA0};
    char text[6];
    UniqueID::toBitText(a, text, sizeof text);
    EXPECT_STREQ(text, "10100");

    uint8_t b[16] = {};
    EXPECT_EQ(UniqueID::distance(a, a), 0.0);
    b[15] = 0x01;  // bit 127 differs: 2^-1
    uint8_t z[16] = {};
    EXPECT_EQ(UniqueID::distance(z, b), 0.5);
    b[0] = 0x80;  // bit 0 adds 2^126
    EXPECT_EQ(UniqueID::distance(z, b), std::ldexp(1.0, 126) + 0.5);
}

TEST(UniqueID, StoredFormIsTheRawBytes) {
    uint8_t id[16];
    for (int i = 0; i < 16; i++) id[i] = static_cast<uint8_t>(0xF0 + i);
    uint8_t buf[16] = {};
    i4_ram_file_class f(buf, sizeof buf, 0);
    EXPECT_EQ(UniqueID::write(id, f), 16);
    EXPECT_EQ(memcmp(buf, id, 16), 0);
    f.seek(0);
    uint8_t back[16] = {};
    EXPECT_EQ(UniqueID::read(back, f), 16);
    EXPECT_TRUE(UniqueID::equals(back, id));

    uint8_t shortBuf[5] = {1, 2, 3, 4, 5};
    i4_ram_file_class s(shortBuf, sizeof shortBuf, 0);
    EXPECT_EQ(UniqueID::read(back, s), 5);
}

TEST(UniqueID, CopyClearRandomize) {
    uint8_t a[16], b[16];
    UniqueID::clear(a);
    EXPECT_TRUE(UniqueID::isZero(a));
    int nonZero = 0;
    for (int tries = 0; tries < 4 && !nonZero; tries++) {
        UniqueID::randomize(a);
        nonZero = !UniqueID::isZero(a);
    }
    EXPECT_TRUE(nonZero);
    UniqueID::copy(b, a);
    EXPECT_TRUE(UniqueID::equals(a, b));
    b[15] ^= 1;
    EXPECT_FALSE(UniqueID::equals(a, b));
}

}  // namespace
