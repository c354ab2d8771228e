#include <gtest/gtest.h>

#include "FlacTestUtil.h"
#include "import/VorbisTag.h"

namespace {

TEST(VorbisTagTest, CommentsSplitAtTheFirstEqualsSignWithinTheRoom) {
    Bytes file = flacFile(vorbisComments("v", {"ab=cd", "name=", "=value", "none", "", "k=a=b"}));
    ByteReader in(file);
    VorbisTag tag;
    ASSERT_TRUE(tag.read(*in));
    ASSERT_EQ(6, tag.getCommentCount());
    struct Case {
        int index, room;
        bool ok;
        const char *name, *value;
    } cases[] = {
        {0, 100, true, "ab", "cd"}, {0, 4, true, "ab", "cd"},  // "ab" and "=cd" are under 4
        {0, 3, false, "", ""},      {1, 10, true, "name", ""}, {2, 10, true, "", "value"},
        {3, 10, false, "", ""},     {4, 10, false, "", ""},    {5, 10, true, "k", "a=b"},
        {6, 10, false, "", ""},     {-1, 10, false, "", ""},
    };
    for (const Case& c : cases) {
        i4_string name("before"), value("before");
        EXPECT_EQ(c.ok, tag.getComment(c.index, name, value, c.room)) << c.index << "/" << c.room;
        EXPECT_STREQ(c.ok ? c.name : "before", name.c_str()) << c.index;
        EXPECT_STREQ(c.ok ? c.value : "before", value.c_str()) << c.index;
    }
}

// A block of 10,000 empty comments keeps no more than the cap.
TEST(VorbisTagTest, CommentCountIsCapped) {
    Bytes body = vorbisComments("v", std::vector<std::string>(10000));
    Bytes file = text("fLaC") + flacBlock(4, body, true);
    ByteReader in(file);
    VorbisTag tag;
    ASSERT_TRUE(tag.read(*in));
    EXPECT_EQ(VorbisTag::MAX_COMMENTS, tag.getCommentCount());
}

TEST(VorbisTagTest, LengthTexts) {
    struct Case {
        uint32_t rate;
        uint64_t samples;
        const char* text;
    } cases[] = {
        {44100, 441000, "00:10"}, {44100, 441099, "00:10"}, {8000, 8000 * 3725, "01:02:05"},
        {44100, 0, ""},           {0, 441000, ""},
    };
    for (const Case& c : cases) {
        Bytes file =
            text("fLaC") + flacBlock(0, streamInfo(c.rate, 2, 16, c.samples, md5Bytes()), true);
        ByteReader in(file);
        VorbisTag tag;
        ASSERT_TRUE(tag.read(*in));
        i4_string t("before");
        tag.lengthText(t);
        EXPECT_STREQ(c.text, t.c_str()) << c.samples;
    }
}

TEST(VorbisTagTest, VendorOnlyWhenNotEmpty) {
    Bytes file = flacFile(vorbisComments("", {}));
    ByteReader in(file);
    VorbisTag tag;
    ASSERT_TRUE(tag.read(*in));
    i4_string v("before");
    tag.getVendor(v);
    EXPECT_STREQ("before", v.c_str());
    EXPECT_FALSE(tag.ranPastEnd());
}

}  // namespace
