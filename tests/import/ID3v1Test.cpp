#include <gtest/gtest.h>
#include <string.h>

#include "ImportTestUtil.h"
#include "import/ID3v1.h"

namespace {

Bytes block(const char* title, const char* artist, const char* album, const char* year,
            const char* comment, int b125, int b126, int genre) {
    Bytes b(ID3v1::SIZE, 0);
    memcpy(&b[0], "TAG", 3);
    memcpy(&b[3], title, strlen(title));
    memcpy(&b[33], artist, strlen(artist));
    memcpy(&b[63], album, strlen(album));
    memcpy(&b[93], year, strlen(year));
    memcpy(&b[97], comment, strlen(comment));
    b[125] = (uint8_t)b125;
    b[126] = (uint8_t)b126;
    b[127] = (uint8_t)genre;
    return b;
}

TEST(ID3v1Test, TrackNumberShortensTheComment) {
    std::string comment30(30, 'c');
    ID3v1 tag;
    // A zero at 125 and 7 at 126: version 1.1, the comment is 28 bytes.
    Bytes b = block("T", "A", "L", "1999", "", 0, 7, 17);
    memcpy(&b[97], comment30.data(), 28);
    ASSERT_TRUE(tag.parse(b.data()));
    EXPECT_EQ(7, tag.getTrack());
    EXPECT_FLOAT_EQ(1.1f, tag.getVersion());
    EXPECT_EQ(std::string(28, 'c'), tag.getComment());
    EXPECT_EQ(1999, tag.getYear());
    EXPECT_EQ(17, tag.getGenre());

    // 126 zero: version 1.0, no track, and the comment field is all 30 bytes.
    b = block("T", "A", "L", "1999", comment30.c_str(), 0, 0, 17);
    ASSERT_TRUE(tag.parse(b.data()));
    EXPECT_EQ(-1, tag.getTrack());
    EXPECT_FLOAT_EQ(1.0f, tag.getVersion());
    EXPECT_EQ(std::string(28, 'c'), tag.getComment()) << "zeros at 125 and 126 are padding";
    b = block("T", "A", "L", "1999", comment30.c_str(), 'c', 'c', 17);
    ASSERT_TRUE(tag.parse(b.data()));
    EXPECT_EQ(-1, tag.getTrack());
    EXPECT_EQ(comment30, tag.getComment());
}

TEST(ID3v1Test, FieldsLoseTheirPadding) {
    std::string padded = "Word" + std::string(26, ' ');
    Bytes b = block(padded.c_str(), "Zero padded", "Mixed", "2x01", "c  ", 0, 0, 255);
    b[63 + 2] = 0;                   // a zero inside the text ends it
    memcpy(&b[33 + 20], "junk", 4);  // after the zero that ends "Zero padded"
    putAt(b, 97 + 10, text("x"));    // after the spaces and zero that end "c"
    ID3v1 tag;
    ASSERT_TRUE(tag.parse(b.data()));
    EXPECT_STREQ("Word", tag.getTitle());
    EXPECT_STREQ("Zero padded", tag.getArtist());
    EXPECT_STREQ("Mi", tag.getAlbum());
    EXPECT_STREQ("c", tag.getComment());
    EXPECT_EQ(2, tag.getYear()) << "the number ends at the first non-digit";

    std::string full(30, 'x');
    b = block(full.c_str(), full.c_str(), full.c_str(), "", "", 0, 0, 0);
    ASSERT_TRUE(tag.parse(b.data()));
    EXPECT_EQ(full, tag.getTitle()) << "a full field has no terminator in the block";
    EXPECT_EQ(full, tag.getAlbum());
}

TEST(ID3v1Test, OnlyATagBlockParses) {
    ID3v1 tag;
    tag.setTitle("kept");
    Bytes b = block("other", "", "", "", "", 0, 0, 0);
    b[0] = 't';
    EXPECT_FALSE(tag.parse(b.data()));
    EXPECT_STREQ("kept", tag.getTitle());
}

TEST(ID3v1Test, BuildsWhatItParses) {
    ID3v1 tag;
    tag.setTitle("A title that is longer than thirty bytes");
    tag.setArtist("Artist  ");
    tag.setAlbum("Album");
    tag.setComment("comment");
    EXPECT_TRUE(tag.setYear(2001));
    EXPECT_TRUE(tag.setTrack(12));
    tag.setGenre(40);
    uint8_t out[ID3v1::SIZE];
    tag.build(out);

    ID3v1 back;
    ASSERT_TRUE(back.parse(out));
    EXPECT_STREQ("A title that is longer than th", back.getTitle());
    EXPECT_STREQ("Artist", back.getArtist());
    EXPECT_STREQ("Album", back.getAlbum());
    EXPECT_STREQ("comment", back.getComment());
    EXPECT_EQ(2001, back.getYear());
    EXPECT_EQ(12, back.getTrack());
    EXPECT_EQ(40, back.getGenre());

    EXPECT_TRUE(back.setTrack(-1));
    back.build(out);
    EXPECT_EQ(0, out[126]) << "no track: version 1.0";

    ID3v1 fresh;
    fresh.build(out);
    for (int i = 93; i < 97; ++i) EXPECT_EQ(0, out[i]) << "a tag without a year: byte " << i;
}

TEST(ID3v1Test, GenreGivenAsNumberOrName) {
    struct Case {
        const char* text;
        bool taken;
        int genre;
    } cases[] = {{"17", true, 17},   {"0", true, 0},           {"255", true, 255},
                 {"rock", true, 17}, {"ALTERNROCK", true, 40}, {"Dance Hall", true, 125},
                 {"256", false, 9},  {"-1", false, 9},         {"17x", false, 9},
                 {"Dance", true, 3}, {"", false, 9},           {"Rock ", false, 9}};
    for (const Case& c : cases) {
        ID3v1 tag;
        tag.setGenre(9);
        EXPECT_EQ(c.taken, tag.setGenreText(c.text)) << c.text;
        EXPECT_EQ(c.genre, tag.getGenre()) << c.text;
    }
}

TEST(ID3v1Test, YearAndTrackSettersKeepTheirRanges) {
    ID3v1 tag;
    for (int y : {999, 3001, -5}) EXPECT_FALSE(tag.setYear(y)) << y;
    for (int y : {1000, 3000}) EXPECT_TRUE(tag.setYear(y)) << y;
    EXPECT_EQ(3000, tag.getYear());
    for (int t : {-2, 256}) EXPECT_FALSE(tag.setTrack(t)) << t;
    for (int t : {-1, 0, 255}) EXPECT_TRUE(tag.setTrack(t)) << t;
    EXPECT_EQ(255, tag.getTrack());
}

TEST(ID3v1Test, GenreNames) {
    struct Case {
        uint8_t genre;
        const char* name;
    } cases[] = {{0, "Blues"},           {17, "Rock"},          {40, "AlternRock"},
                 {67, "Psychadelic"},    {85, "Bebob"},         {125, "Dance Hall"},
                 {126, "not supported"}, {255, "not supported"}};
    for (const Case& c : cases) {
        ID3v1 tag;
        tag.setGenre(c.genre);
        i4_string out("unchanged");
        tag.genreText(out, true);
        EXPECT_STREQ(c.name, out.c_str()) << (int)c.genre;
        out = "unchanged";
        tag.genreText(out, false);
        EXPECT_STREQ("unchanged", out.c_str());
    }
}

}  // namespace
