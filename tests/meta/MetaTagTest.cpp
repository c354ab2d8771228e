#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <vector>

#include "MetaTestUtil.h"
#include "meta/Meta.h"
#include "meta/MetaTag.h"
#include "meta/MetaTagBlob.h"
#include "meta/MetaTagString.h"
#include "util/BoolArray.h"

namespace {

class MetaTagTest : public ::testing::Test {
protected:
    void SetUp() override { initSpecialTags(); }
    CapturedOutput out;
};

typedef std::unique_ptr<MetaTag> TagPtr;

Bytes bytesOf(MetaTag* tag) {
    return written([&](i4_file& f) { EXPECT_TRUE(tag->toBytes(f)); });
}

TagPtr readBack(const Bytes& b) {
    ByteReader r(b);
    return TagPtr(MetaTag::readTag(*r));
}

struct ByteCase {
    const char* what;
    TagPtr (*make)();
    Bytes bytes;
    int size;
};

TEST_F(MetaTagTest, ByteFormsOfEachKind) {
    const ByteCase table[] = {
        {"special int tag: Size 0x12345678",
         [] {
             int32_t v = 0x12345678;
             return TagPtr(MetaTag::makeSpecialTag(SpecialTagInfo::SIZE, &v));
         },
         {0x03, 0x01, 0x00, 0x02, 0x78, 0x56, 0x34, 0x12},
         8},
        {"unnamed string tag \"ab\"",
         [] { return TagPtr(MetaTag::makeTag(MetaTag::STRING, nullptr, "ab")); },
         {0x02, 0x01, 0x00, 'n', 0x02, 0x00, 'a', 'b'},
         8},
        {"string tag holding no text",
         [] { return TagPtr(MetaTag::makeTag(MetaTag::STRING, "t", nullptr)); },
         {0x02, 0x01, 0x00, 't', 0x00, 0x00},
         6},
        {"float tag \"rate\" 1.5",
         [] {
             float v = 1.5f;
             return TagPtr(MetaTag::makeTag(MetaTag::FLOAT, "rate", &v));
         },
         {0x04, 0x04, 0x00, 'r', 'a', 't', 'e', 0x00, 0x00, 0xC0, 0x3F},
         11},
        {"BoolArray tag of 0 bits: size counts one byte more than written",
         [] { return TagPtr(MetaTag::makeTag(MetaTag::BOOLARRAY, "bits", nullptr)); },
         {0x06, 0x04, 0x00, 'b', 'i', 't', 's', 0x00, 0x00},
         10},
        {"BoolArray tag of 9 bits, bits 0 and 8 set",
         [] {
             BoolArray a(9);
             a.set(0, 1);
             a.set(8, 1);
             return TagPtr(MetaTag::makeTag(MetaTag::BOOLARRAY, "bits", &a));
         },
         {0x06, 0x04, 0x00, 'b', 'i', 't', 's', 0x09, 0x00, 0x01, 0x01},
         11},
        {"bool tag",
         [] {
             uint8_t v = 1;
             return TagPtr(MetaTag::makeTag(MetaTag::BOOL, "ok", &v));
         },
         {0x05, 0x02, 0x00, 'o', 'k', 0x01},
         6},
        {"hash tag",
         [] {
             uint8_t h[16];
             for (int i = 0; i < 16; ++i) h[i] = (uint8_t)i;
             return TagPtr(MetaTag::makeTag(MetaTag::HASH128, "id", h));
         },
         {0x01, 0x02, 0x00, 'i', 'd', 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15},
         21},
        {"blob tag",
         [] {
             uint8_t data[3] = {9, 8, 7};
             MetaBlob b = {3, data};
             return TagPtr(MetaTag::makeTag(MetaTag::BLOB, "bl", &b));
         },
         {0x07, 0x02, 0x00, 'b', 'l', 0x03, 0x00, 0x00, 0x00, 9, 8, 7},
         12},
        {"64-bit tag -2",
         [] {
             int64_t v = -2;
             return TagPtr(MetaTag::makeTag(MetaTag::INT64, "big", &v));
         },
         {0x08, 0x03, 0x00, 'b', 'i', 'g', 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
         14},
        {"tag with an empty name",
         [] {
             int32_t v = 7;
             return TagPtr(MetaTag::makeTag(MetaTag::INT, "", &v));
         },
         {0x03, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00},
         7},
    };
    for (const ByteCase& c : table) {
        TagPtr tag = c.make();
        ASSERT_TRUE(tag) << c.what;
        EXPECT_EQ(hex(bytesOf(tag.get())), hex(c.bytes)) << c.what;
        EXPECT_EQ(tag->size(), c.size) << c.what;
        TagPtr copy(tag->clone());
        EXPECT_EQ(hex(bytesOf(copy.get())), hex(c.bytes)) << c.what << " (clone)";

        // Every kind reads back to the same bytes, also from the wire.
        TagPtr back = readBack(c.bytes);
        ASSERT_TRUE(back) << c.what;
        EXPECT_EQ(back->getType(), tag->getType()) << c.what;
        EXPECT_EQ(hex(bytesOf(back.get())), hex(c.bytes)) << c.what << " (read back)";

        // Cut short anywhere, a form is neither written as whole nor read back.
        for (size_t n = 0; n < c.bytes.size(); ++n) {
            std::vector<uint8_t> room(n + 1);
            i4_ram_file_class f(room.data(), (int32_t)n, 0);
            EXPECT_FALSE(tag->toBytes(f)) << c.what << ", room for " << n;
            EXPECT_FALSE(readBack(Bytes(c.bytes.begin(), c.bytes.begin() + (long)n)))
                << c.what << ", " << n << " bytes";
        }
    }
}

TEST_F(MetaTagTest, CloneIsIndependentOfItsSource) {
    TagPtr tag(MetaTag::makeTag(MetaTag::STRING, "t", "before"));
    TagPtr copy(tag->clone());
    tag->setValue("after");
    char buf[32];
    EXPECT_STREQ(copy->getValueText(buf, sizeof buf), "before");
    EXPECT_STREQ(copy->getStoredName(), "t");
}

TEST_F(MetaTagTest, BoolReadsOneFromAnyNonZeroByte) {
    const struct {
        uint8_t stored;
        uint8_t value;
        const char* text;
    } table[] = {
        {0x00, 0, "false"}, {0x01, 1, "true"}, {0x02, 1, "true"},
        {0x80, 1, "true"},  {0xFF, 1, "true"},
    };
    for (const auto& c : table) {
        TagPtr tag = readBack({0x05, 0x02, 0x00, 'o', 'k', c.stored});
        ASSERT_TRUE(tag);
        EXPECT_EQ(*(uint8_t*)tag->getValue(), c.value) << (int)c.stored;
        char buf[8];
        EXPECT_STREQ(tag->getValueText(buf, sizeof buf), c.text);
        EXPECT_EQ(bytesOf(tag.get()).back(), c.value) << "written back as read";
    }
}

TEST_F(MetaTagTest, NamesReadBack) {
    const struct {
        const char* what;
        Bytes name;          // name bytes as stored
        const char* stored;  // stored name after reading (null: none)
        int specialId;
    } table[] = {
        {"the letter n means no name", {'n'}, nullptr, 0},
        {"empty name: ordinary tag", {}, "", 0},
        {"one-byte name: special id", {0x02}, "\x02", 2},
        {"one byte above 127 reads unsigned", {0xC8}, "\xC8", 200},
        {"ordinary one-letter name is special too", {'a'}, "a", 'a'},
        {"longer name", {'a', 'b'}, "ab", 0},
    };
    for (const auto& c : table) {
        Bytes b = Bytes{0x03, (uint8_t)c.name.size(), 0x00} + c.name + Bytes{1, 0, 0, 0};
        TagPtr tag = readBack(b);
        ASSERT_TRUE(tag) << c.what;
        if (c.stored)
            EXPECT_STREQ(tag->getStoredName(), c.stored) << c.what;
        else
            EXPECT_EQ(tag->getStoredName(), nullptr) << c.what;
        EXPECT_EQ(tag->getSpecialId(), c.specialId) << c.what;
    }
}

TEST_F(MetaTagTest, SpecialIdsOutsideTheTableHaveNoDisplayName) {
    TagPtr unknown = readBack({0x03, 0x01, 0x00, 0xC8, 5, 0, 0, 0});
    ASSERT_TRUE(unknown);
    EXPECT_EQ(unknown->getSpecialId(), 200);
    EXPECT_EQ(unknown->getName(), nullptr);
    EXPECT_EQ(unknown->isFlagged(), 0);
    EXPECT_EQ(hex(bytesOf(unknown.get())), "03 01 00 c8 05 00 00 00");
    EXPECT_EQ(MetaTag::makeSpecialTag(0, nullptr), nullptr);
    EXPECT_EQ(MetaTag::makeSpecialTag(25, nullptr), nullptr);

    TagPtr known = readBack({0x02, 0x01, 0x00, 0x01, 0x01, 0x00, 'x'});
    ASSERT_TRUE(known);
    EXPECT_STREQ(known->getName(), "Name");
    EXPECT_EQ(known->isFlagged(), 1);
}

TEST_F(MetaTagTest, UploadAndDownloadPriorityShareADisplayNameOnly) {
    TagPtr up(MetaTag::makeSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, nullptr));
    TagPtr down(MetaTag::makeSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY, nullptr));
    EXPECT_STREQ(up->getName(), "Priority");
    EXPECT_STREQ(down->getName(), "Priority");
    EXPECT_STRNE(up->getStoredName(), down->getStoredName());
}

TEST_F(MetaTagTest, MakeTagWithAOneByteNameStaysOrdinaryUntilReadBack) {
    int32_t v = 5;
    TagPtr tag(MetaTag::makeTag(MetaTag::INT, "\x02", &v));
    EXPECT_EQ(tag->getSpecialId(), 0);
    TagPtr back = readBack(bytesOf(tag.get()));
    EXPECT_EQ(back->getSpecialId(), 2);
}

TEST_F(MetaTagTest, LongNamesAndTextsAreCutAndTheNextTagStillReads) {
    // Texts from the wire keep 128 bytes; the client's own files keep up to 4,095.
    struct Case {
        bool fromWire;
        size_t textLength;
        size_t kept;
    } cases[] = {{true, 200, 128}, {false, 200, 200}, {false, 4095, 4095}, {false, 5000, 4095}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "wire " << c.fromWire << ", " << c.textLength);
        std::string name(150, 'N');
        std::string text(c.textLength, 'T');
        Bytes b = {0x02, 150, 0x00};
        b.insert(b.end(), name.begin(), name.end());
        b = b + Bytes{(uint8_t)(c.textLength & 0xFF), (uint8_t)(c.textLength >> 8)};
        b.insert(b.end(), text.begin(), text.end());
        b = b + Bytes{0x03, 0x01, 0x00, 0x02, 0x2A, 0, 0, 0};
        ByteReader r(b);
        TagPtr first(MetaTag::readTag(*r, c.fromWire));
        ASSERT_TRUE(first);
        EXPECT_EQ(std::string(first->getStoredName()), name.substr(0, 100));
        EXPECT_EQ(std::string((const char*)first->getValue()), text.substr(0, c.kept));
        TagPtr second(MetaTag::readTag(*r, c.fromWire));
        ASSERT_TRUE(second);
        EXPECT_EQ(*(int32_t*)second->getValue(), 42);
    }
}

TEST_F(MetaTagTest, RecordsFromTheWireCutTextsThatFilesKeep) {
    std::string text(300, 'w');
    Meta m;
    m.addTag(MetaTag::makeTag(MetaTag::STRING, "t", nullptr));
    static_cast<MetaTagString*>(m.findTag("t"))->setStoredValue(text.c_str());
    Bytes b = written([&](i4_file& f) { EXPECT_TRUE(m.toBytes(f)); });
    Meta fromWire, fromFile;
    {
        ByteReader r(b);
        ASSERT_TRUE(fromWire.fromNetwork(*r));
    }
    {
        ByteReader r(b);
        ASSERT_TRUE(fromFile.fromDisk(*r));
    }
    EXPECT_EQ(std::string((const char*)fromWire.getTagValue("t")), text.substr(0, 128));
    EXPECT_EQ(std::string((const char*)fromFile.getTagValue("t")), text);
}

TEST_F(MetaTagTest, StringValuesAreCutTo128AndShownIntoBoundedBuffers) {
    std::string text(300, 'x');
    TagPtr tag(MetaTag::makeTag(MetaTag::STRING, "s", text.c_str()));
    EXPECT_EQ(strlen((const char*)tag->getValue()), 128u);
    EXPECT_EQ(tag->size(), 3 + 1 + 2 + 128);

    tag->setValue("0123456789abc");
    char buf[10];
    EXPECT_STREQ(tag->getValueText(buf, sizeof buf), "012345678");

    // Every kind stays inside a tiny buffer.
    uint8_t h[16] = {0xAB};
    int32_t i = -123456;
    float fl = 123456.5f;
    int64_t big = INT64_MIN;
    TagPtr kinds[] = {
        TagPtr(MetaTag::makeTag(MetaTag::HASH128, "h", h)),
        TagPtr(MetaTag::makeTag(MetaTag::INT, "i", &i)),
        TagPtr(MetaTag::makeTag(MetaTag::FLOAT, "f", &fl)),
        TagPtr(MetaTag::makeTag(MetaTag::INT64, "g", &big)),
        TagPtr(MetaTag::makeTag(MetaTag::BOOL, "b", &h)),
    };
    const char* full[] = {"ab000000000000000000000000000000", "-123456", "123456.500000",
                          "-9223372036854775808", "true"};
    for (size_t k = 0; k < sizeof kinds / sizeof kinds[0]; ++k) {
        char small[5];
        memset(small, 'Z', sizeof small);
        EXPECT_EQ(std::string(kinds[k]->getValueText(small, 4)), std::string(full[k]).substr(0, 3));
        EXPECT_EQ(small[4], 'Z') << "wrote past the buffer";
        char wide[64];
        EXPECT_STREQ(kinds[k]->getValueText(wide, sizeof wide), full[k]);
    }
    TagPtr empty(MetaTag::makeTag(MetaTag::STRING, "s", nullptr));
    EXPECT_EQ(empty->getValueText(buf, sizeof buf), nullptr);
}

TEST_F(MetaTagTest, DamagedTagsAreRefused) {
    const struct {
        const char* what;
        Bytes bytes;
    } table[] = {
        {"unknown type", {0x09, 0x01, 0x00, 'a'}},
        {"type 0", {0x00, 0x01, 0x00, 'a'}},
        {"nothing after the type", {0x03}},
        {"name length past the end", {0x03, 0x10, 0x00, 'a', 1, 2, 3, 4}},
        {"name length 0xFFFF", {0x03, 0xFF, 0xFF, 'a', 1, 2, 3, 4}},
        {"int value cut short", {0x03, 0x01, 0x00, 'a', 1, 2, 3}},
        {"string length past the end", {0x02, 0x01, 0x00, 'a', 0x05, 0x00, 'x'}},
        {"blob length past the end", {0x07, 0x01, 0x00, 'a', 0xF0, 0xFF, 0xFF, 0xFF, 1, 2}},
        {"BoolArray bytes past the end", {0x06, 0x01, 0x00, 'a', 0xFF, 0xFF, 1}},
        {"hash cut short", {0x01, 0x01, 0x00, 'a', 1, 2, 3, 4, 5}},
        {"64-bit value cut short", {0x08, 0x01, 0x00, 'a', 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const auto& c : table) {
        out.lines.clear();
        EXPECT_FALSE(readBack(c.bytes)) << c.what;
    }
    out.lines.clear();
    EXPECT_FALSE(readBack({0x09, 0x01, 0x00, 'a'}));
    EXPECT_EQ(out.all(),
              "debug:ERROR: unknown type MetaTag::makeTag() 9\ndebug:error in tag from bytes\n");
}

TEST_F(MetaTagTest, BlobLongerThanTheCapIsRefusedEvenWhenTheBytesAreThere) {
    uint32_t len = MetaTagBlob::MAX_BLOB + 1;
    Bytes b = {0x07,
               0x01,
               0x00,
               'a',
               (uint8_t)len,
               (uint8_t)(len >> 8),
               (uint8_t)(len >> 16),
               (uint8_t)(len >> 24)};
    b.resize(b.size() + len, 0x55);
    EXPECT_FALSE(readBack(b));
    b.resize(b.size() - 1);
    b[4] = (uint8_t)(len - 1);
    b[5] = (uint8_t)((len - 1) >> 8);
    b[6] = (uint8_t)((len - 1) >> 16);
    b[7] = (uint8_t)((len - 1) >> 24);
    TagPtr ok = readBack(b);
    ASSERT_TRUE(ok);
    EXPECT_EQ(((MetaBlob*)ok->getValue())->length, len - 1);
}

TEST_F(MetaTagTest, FactoryGivesEmptyValuesAndRefusesUnknownTypes) {
    for (uint32_t type = 1; type <= 8; ++type) {
        TagPtr tag(MetaTag::makeTag(type, "x", nullptr));
        ASSERT_TRUE(tag) << type;
        EXPECT_EQ(tag->getType(), type);
        EXPECT_EQ(tag->getSpecialId(), 0);
    }
    out.lines.clear();
    EXPECT_EQ(MetaTag::makeTag(9, "x", nullptr), nullptr);
    EXPECT_EQ(out.all(), "debug:ERROR: unknown type MetaTag::makeTag() 9\n");
}

}  // namespace
