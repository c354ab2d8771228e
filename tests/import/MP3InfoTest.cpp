#include <gtest/gtest.h>

#include "ImportTestUtil.h"
#include "i4min/TempDir.h"
#include "import/MP3Info.h"

namespace {

const uint32_t MPEG1_L3_128 = 0xFFFB9064;  // 44.1 kHz, joint stereo, side info 32

// An ID3v2.3 tag of `body` bytes (syncsafe size), holding what is given at its start.
Bytes id3v2(uint32_t body, const Bytes& content = {}) {
    Bytes b = text("ID3");
    b.push_back(3);
    b.push_back(0);
    b.push_back(0);
    for (int shift = 21; shift >= 0; shift -= 7) b.push_back((uint8_t)((body >> shift) & 0x7F));
    Bytes rest(body, 0);
    putAt(rest, 0, content);
    return b + rest;
}

// A Xing header with the given flags and frame count.
Bytes xing(uint32_t flags, uint32_t frames) {
    return text("Xing") + be32Bytes(flags) + be32Bytes(frames);
}

TEST(MP3InfoTest, ScanEndsAtOffset204800) {
    for (int64_t at : {0, 1, 12345, 204800, 204801}) {
        SparseFile f(at + 1000);
        f.place(at, be32Bytes(MPEG1_L3_128));
        MP3Info info;
        int r = info.read(f);
        if (at <= MP3Info::SCAN_LIMIT) {
            EXPECT_EQ(MP3Info::FOUND, r) << at;
            EXPECT_EQ(at, info.getHeaderOffset());
            EXPECT_EQ(128, info.bitrate());
        } else {
            EXPECT_EQ(MP3Info::NO_HEADER, r) << at;
        }
    }
}

TEST(MP3InfoTest, ShortAndMissingFilesHaveNoHeader) {
    Bytes three = {0xFF, 0xFB, 0x90};
    ByteReader in(three);
    MP3Info info;
    EXPECT_EQ(MP3Info::NO_HEADER, info.read(*in));
    Bytes empty;
    ByteReader none(empty);
    EXPECT_EQ(MP3Info::NO_HEADER, info.read(*none));
    EXPECT_EQ(MP3Info::NO_HEADER, info.read("/nonexistent/dir/file.mp3"));
}

TEST(MP3InfoTest, ReadsByPath) {
    TempDir dir;
    Bytes b(4000, 0);
    putAt(b, 100, be32Bytes(MPEG1_L3_128));
    writeText(dir / "a.mp3", std::string(b.begin(), b.end()));
    MP3Info info;
    EXPECT_EQ(MP3Info::FOUND, info.read((dir / "a.mp3").c_str()));
    EXPECT_EQ(100, info.getHeaderOffset());
    EXPECT_EQ((dir / "a.mp3"), info.getPath());
}

// 4,000,000 bytes at 128 kbit/s without a Xing header play 250 seconds.
TEST(MP3InfoTest, ConstantBitrateLengthFromTheSize) {
    SparseFile f(4000000);
    f.place(0, be32Bytes(MPEG1_L3_128));
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read(f));
    EXPECT_FALSE(info.hasXing());
    EXPECT_EQ(128, info.bitrate());
    EXPECT_EQ(250u, info.durationSeconds());
    i4_string t;
    info.durationText(t);
    EXPECT_STREQ("04:10", t.c_str());
}

// Files past 512 MiB overflow size x 8 in 32 bits; the length must not wrap.
TEST(MP3InfoTest, LengthOfAFileBeyond512MiB) {
    SparseFile f(600000000);
    f.place(0, be32Bytes(MPEG1_L3_128));
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read(f));
    EXPECT_EQ(37500u, info.durationSeconds());
    i4_string t;
    info.durationText(t);
    EXPECT_STREQ("10:25:00", t.c_str());
}

TEST(MP3InfoTest, DurationTexts) {
    struct Case {
        uint32_t seconds;
        const char* text;
    } cases[] = {{0, "00:00"},       {59, "00:59"},      {250, "04:10"},       {3599, "59:59"},
                 {3600, "01:00:00"}, {3725, "01:02:05"}, {360000, "100:00:00"}};
    for (const Case& c : cases) {
        i4_string t;
        MP3Info::formatDuration(c.seconds, t);
        EXPECT_STREQ(c.text, t.c_str());
    }
}

// The Xing average uses the samples of the frame's own kind, so files below MPEG 1
// Layer III are not halved (nor Layer I files quadrupled). Each file has 48,000
// bytes of audio; its first header names a table bitrate unlike the average.
TEST(MP3InfoTest, XingAverageForEachFrameKind) {
    struct Case {
        uint32_t word;
        uint32_t frames;
        int bitrate;
        uint32_t seconds;
        const char* what;
    } cases[] = {
        // 48 kHz, 1152 samples: 480-byte frames are 160 kbit/s; 100 frames 2.4 s.
        {0xFFFB1400, 100, 160, 2, "MPEG 1 Layer III"},
        // 24 kHz, 576 samples: 192-byte frames are 64 kbit/s; 250 frames 6 s.
        {0xFFF31400, 250, 64, 6, "MPEG 2 Layer III"},
        // 12 kHz, 576 samples: 96-byte frames are 16 kbit/s; 500 frames 24 s.
        {0xFFE31400, 500, 16, 24, "MPEG 2.5 Layer III"},
        // 48 kHz, 384 samples: 128-byte frames are 128 kbit/s; 375 frames 3 s.
        {0xFFFF1400, 375, 128, 3, "MPEG 1 Layer I"},
    };
    for (const Case& c : cases) {
        SparseFile f(48000);
        f.place(0, be32Bytes(c.word));
        MP3Header h;
        Bytes w = be32Bytes(c.word);
        h.set(w.data());
        ASSERT_TRUE(h.isValid()) << c.what;
        f.place(4 + h.sideInfoSize(), xing(0x0F, c.frames));
        MP3Info info;
        ASSERT_EQ(MP3Info::FOUND, info.read(f)) << c.what;
        EXPECT_TRUE(info.hasXing()) << c.what;
        EXPECT_EQ(c.frames, info.getXingFrames()) << c.what;
        EXPECT_EQ(c.bitrate, info.bitrate()) << c.what;
        EXPECT_EQ(c.seconds, info.durationSeconds()) << c.what;
    }
}

// Counts that cannot be a real file's leave the table bitrate in force.
TEST(MP3InfoTest, UnusableXingCounts) {
    struct Case {
        uint32_t flags, frames;
        int64_t kept;
    } cases[] = {
        {0x0E, 500, -1},                  // no frame count flag
        {0x0F, 0, 0},                     // no frames
        {0x0F, 0x80000000u, 0x80000000},  // past 2^31
        {0x0F, 0xFFFFFFFFu, 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SparseFile f(4000000);
        f.place(0, be32Bytes(MPEG1_L3_128));
        f.place(36, xing(c.flags, c.frames));
        MP3Info info;
        ASSERT_EQ(MP3Info::FOUND, info.read(f));
        EXPECT_TRUE(info.hasXing());
        EXPECT_EQ(c.kept, info.getXingFrames());
        EXPECT_EQ(128, info.bitrate()) << c.frames;
        EXPECT_EQ(250u, info.durationSeconds()) << c.frames;
    }
}

// A UTF-16 text after its byte-order mark reads as an MPEG 1 Layer I header at
// 160 kbit/s ("Z" is 0x5A); the scan must start after the tag that holds it.
TEST(MP3InfoTest, ScanStartsAfterALeadingID3v2Tag) {
    Bytes frame = {0x54, 0x41, 0x4C, 0x42, 0, 0, 0, 9, 0, 0, 1, 0xFF, 0xFE, 'Z', 0, 'o', 0, 'o', 0};
    Bytes tag = id3v2(600, frame);
    for (int64_t gap : {0, 204800, 204801}) {
        SparseFile f((int64_t)tag.size() + gap + 5000);
        f.place(0, tag);
        f.place((int64_t)tag.size() + gap, be32Bytes(MPEG1_L3_128));
        MP3Info info;
        int r = info.read(f);
        if (gap > MP3Info::SCAN_LIMIT) {
            EXPECT_EQ(MP3Info::NO_HEADER, r);
            continue;
        }
        ASSERT_EQ(MP3Info::FOUND, r) << gap;
        EXPECT_EQ((int64_t)tag.size() + gap, info.getHeaderOffset());
        EXPECT_EQ(128, info.bitrate());
    }
}

TEST(MP3InfoTest, ID3v2TagsInARowAndAFooter) {
    Bytes first = id3v2(100);
    Bytes second = id3v2(50);
    second[3] = 4;
    second[5] = 0x10;  // version 4: a footer of 10 more bytes follows
    // Footer bytes that would pass for a frame header if the scan began in them.
    Bytes footer = be32Bytes(0xFFFBE8C0) + Bytes(6, 0);
    Bytes b = first + second + footer + be32Bytes(MPEG1_L3_128) + Bytes(500, 0);
    ByteReader in(b);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read(*in));
    EXPECT_EQ((int64_t)(first.size() + second.size() + 10), info.getHeaderOffset());
}

TEST(MP3InfoTest, ID3v2TagLongerThanTheFileHidesNothingAndReadsNothing) {
    Bytes b = id3v2(10) + be32Bytes(MPEG1_L3_128) + Bytes(100, 0);
    b[6] = 0x7F;  // body of 256 MiB
    ByteReader in(b);
    MP3Info info;
    EXPECT_EQ(MP3Info::NO_HEADER, info.read(*in));

    // A broken size (a byte with its top bit set) is no tag: the scan starts at 0.
    Bytes c = Bytes{'I', 'D', '3', 3, 0, 0, 0x80, 0, 0, 0} + be32Bytes(MPEG1_L3_128);
    ByteReader in2(c);
    ASSERT_EQ(MP3Info::FOUND, info.read(*in2));
    EXPECT_EQ(10, info.getHeaderOffset());
}

TEST(MP3InfoTest, TrailingID3v1Tag) {
    Bytes tag(128, 0);
    putAt(tag, 0, text("TAGSong"));
    putAt(tag, 33, text("Singer   "));
    putAt(tag, 63, text("Record"));
    Bytes b = be32Bytes(MPEG1_L3_128) + Bytes(16000 - 4 - 128, 0) + tag;
    ByteReader in(b);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read(*in));
    ASSERT_TRUE(info.hasID3v1());
    i4_string s;
    info.getTitle(s);
    EXPECT_STREQ("Song", s.c_str());
    info.getArtist(s);
    EXPECT_STREQ("Singer", s.c_str());
    info.getAlbum(s);
    EXPECT_STREQ("Record", s.c_str());
    // The tag is not audio: the 15,872 bytes before it play under a second.
    EXPECT_EQ(0u, info.durationSeconds());

    // Under 128 bytes there is no room for a tag, whatever the bytes say.
    Bytes small = be32Bytes(MPEG1_L3_128) + text("TAG");
    ByteReader in2(small);
    ASSERT_EQ(MP3Info::FOUND, info.read(*in2));
    EXPECT_FALSE(info.hasID3v1());
}

// One reading per call: nothing of an earlier file stays.
TEST(MP3InfoTest, ASecondReadForgetsTheFirst) {
    SparseFile a(48000);
    a.place(0, be32Bytes(0xFFFB1400));
    a.place(36, xing(1, 100));
    Bytes tag(128, 0);
    putAt(tag, 0, text("TAGx"));
    a.place(48000 - 128, tag);
    SparseFile b(4000000);
    b.place(0, be32Bytes(MPEG1_L3_128));
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read(a));
    EXPECT_TRUE(info.hasID3v1());
    ASSERT_EQ(MP3Info::FOUND, info.read(b));
    EXPECT_FALSE(info.hasXing());
    EXPECT_FALSE(info.hasID3v1());
    EXPECT_EQ(128, info.bitrate());
}

}  // namespace
