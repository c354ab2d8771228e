#include <gtest/gtest.h>

#include "ImportTestUtil.h"
#include "import/MP3Header.h"

namespace {

MP3Header header(uint32_t word) {
    Bytes b = be32Bytes(word);
    MP3Header h;
    h.set(b.data());
    return h;
}

TEST(MP3HeaderTest, DecodesEveryVersionAndLayer) {
    struct Case {
        uint32_t word;
        int version, layer, bitrate, sampleRate, samples, sideInfo;
        const char* text;
    } cases[] = {
        // MPEG 1 Layer III, 128 kbit/s, 44.1 kHz, joint stereo.
        {0xFFFB9064, 3, 3, 128, 44100, 1152, 32, "MPEG 1 Layer III"},
        // MPEG 1 Layer III, 320 kbit/s, 32 kHz, single channel.
        {0xFFFBE8C0, 3, 3, 320, 32000, 1152, 17, "MPEG 1 Layer III"},
        // MPEG 1 Layer II, 192 kbit/s, 48 kHz.
        {0xFFFDA400, 3, 2, 192, 48000, 1152, 32, "MPEG 1 Layer II"},
        // MPEG 1 Layer I, 128 kbit/s, 44.1 kHz: UTF-16 text "A" after its byte-order
        // mark reads as this header.
        {0xFFFE4100, 3, 1, 128, 44100, 384, 32, "MPEG 1 Layer I"},
        // MPEG 2 Layer III, 64 kbit/s, 22.05 kHz, single channel.
        {0xFFF380C0, 2, 3, 64, 22050, 576, 9, "MPEG 2 Layer III"},
        // MPEG 2 Layer II and Layer I at index 4: their own tables.
        {0xFFF54400, 2, 2, 32, 24000, 1152, 17, "MPEG 2 Layer II"},
        {0xFFF74400, 2, 1, 64, 24000, 384, 17, "MPEG 2 Layer I"},
        // MPEG 2.5 Layer III at each sample-rate index.
        {0xFFE34000, 0, 3, 32, 11025, 576, 17, "MPEG 2.5 Layer III"},
        {0xFFE34400, 0, 3, 32, 12000, 576, 17, "MPEG 2.5 Layer III"},
        {0xFFE318C0, 0, 3, 8, 8000, 576, 9, "MPEG 2.5 Layer III"},
    };
    for (const Case& c : cases) {
        MP3Header h = header(c.word);
        SCOPED_TRACE(testing::Message() << std::hex << c.word);
        EXPECT_TRUE(h.isValid());
        EXPECT_EQ(c.version, h.version());
        EXPECT_EQ(c.layer, h.layer());
        EXPECT_EQ(c.bitrate, h.bitrate());
        EXPECT_EQ(c.sampleRate, h.sampleRate());
        EXPECT_EQ(c.samples, h.samplesPerFrame());
        EXPECT_EQ(c.sideInfo, h.sideInfoSize());
        char buf[40];
        EXPECT_STREQ(c.text, h.versionText(buf, sizeof buf));
    }
    EXPECT_STREQ("Joint Stereo", header(0xFFFB9064).channelModeText());
    EXPECT_STREQ("Single Channel", header(0xFFFBE8C0).channelModeText());
}

TEST(MP3HeaderTest, RefusesEachReservedField) {
    struct Case {
        uint32_t word;
        const char* why;
    } cases[] = {
        {0xFFDB9064, "a sync bit clear"},
        {0x7FFB9064, "the first sync bit clear"},
        {0xFFEB9064, "reserved version"},
        {0xFFF99064, "reserved layer"},
        {0xFFFB0064, "free bitrate"},
        {0xFFFBF064, "bad bitrate"},
        {0xFFFB9C64, "reserved sample rate"},
        {0xFFFB9066, "reserved emphasis"},
        {0x00000000, "zeros"},
    };
    for (const Case& c : cases) EXPECT_FALSE(header(c.word).isValid()) << c.why;
    EXPECT_TRUE(header(0xFFFB9067).isValid()) << "emphasis 3 is allowed";
}

}  // namespace
