#include <gtest/gtest.h>

#include "FlacTestUtil.h"
#include "import/FlacImporter.h"
#include "import/VorbisTag.h"

namespace {

FlacImporter flacImporter;

TagList flacTags(const Bytes& b) {
    bool took = false;
    TagList t = importBytes(flacImporter, b, "flac", &took);
    EXPECT_TRUE(took) << "a flac file is never declined";
    return t;
}

const TagList HEAD = {{"Type", "Audio"}, {"Format", "flac"}};
const TagList STREAM = {{"Num Channels", "2"},     {"Sample Rate", "44100"},
                        {"Bits per Sample", "16"}, {"Total Samples", "441000"},
                        {"Length", "00:10"},       {"Raw Audio MD5", md5Text()}};
const std::pair<std::string, std::string> WARNING = {"Warning:", "fLaC file misformatted"};

TagList join(std::initializer_list<TagList> parts) {
    TagList t;
    for (const TagList& p : parts) t.insert(t.end(), p.begin(), p.end());
    return t;
}

TEST(FlacImporterTest, MetadataInItsFixedOrder) {
    Bytes file = flacFile(vorbisComments(
        "vendor X", {"ARTIST=Flac Artist", "title=flac title", "X=one-character name", "=no name",
                     "NOEQUALS", "ALBUM=Alb=um", "GenRE=Ambient", "dAtE="}));
    TagList expected = join({HEAD,
                             {{"Vendor", "vendor X"},
                              {"Artist", "Flac Artist"},
                              {"title", "flac title"},
                              {"Album", "Alb=um"},
                              {"Genre", "Ambient"},
                              {"date", ""}},
                             STREAM});
    EXPECT_EQ(expected, flacTags(file));
}

TEST(FlacImporterTest, StreamAndCommentEdgeCases) {
    std::string vendor200(200, 'v');
    std::string name100(100, 'n'), name101(101, 'n');
    Bytes info = streamInfo(44100, 2, 16, 441000, md5Bytes());
    Bytes comments = vorbisComments("v", {"A1=x"});
    Bytes padding = flacBlock(1, Bytes(20, 0), false);
    Bytes application = flacBlock(2, text("appl") + Bytes(7, 1), false);
    struct Case {
        const char* what;
        Bytes file;
        TagList tags;
    } cases[] = {
        {"no total samples",
         text("fLaC") + flacBlock(0, streamInfo(44100, 2, 16, 0, md5Bytes()), true),
         join({HEAD,
               {{"Num Channels", "2"},
                {"Sample Rate", "44100"},
                {"Bits per Sample", "16"},
                {"Raw Audio MD5", md5Text()}}})},
        {"no sample rate",
         text("fLaC") + flacBlock(0, streamInfo(0, 1, 8, 100, Bytes(16, 0)), true),
         join({HEAD, {{"Num Channels", "1"}, {"Bits per Sample", "8"}, {"Total Samples", "100"}}})},
        {"36-bit sample count",
         text("fLaC") + flacBlock(0, streamInfo(44100, 2, 24, 0x100000005ull, md5Bytes()), true),
         join({HEAD,
               {{"Num Channels", "2"},
                {"Sample Rate", "44100"},
                {"Bits per Sample", "24"},
                {"Total Samples", "5"},
                {"Length", "27:03:11"},
                {"Raw Audio MD5", md5Text()}}})},
        {"a vendor of 200 bytes keeps 127", flacFile(vorbisComments(vendor200, {})),
         join({HEAD, {{"Vendor", std::string(127, 'v')}}, STREAM})},
        {"no vendor, no comments", flacFile(vorbisComments("", {})), join({HEAD, STREAM})},
        {"zero-length comments are absent", flacFile(vorbisComments("v", {"", "Ab=c", ""})),
         join({HEAD, {{"Vendor", "v"}, {"Ab", "c"}}, STREAM})},
        {"names up to the record model's 100 bytes",
         flacFile(vorbisComments("v", {name101 + "=long", name100 + "=kept"})),
         join({HEAD, {{"Vendor", "v"}, {name100, "kept"}}, STREAM})},
        {"a value too long for the room gives nothing",
         flacFile(
             vorbisComments("v", {"Long=" + std::string(300, 'x'), "Ok=" + std::string(254, 'y')})),
         join({HEAD, {{"Vendor", "v"}, {"Ok", std::string(128, 'y')}}, STREAM})},
        {"a comment past the kept length is absent",
         flacFile(vorbisComments("v", {"Big=" + std::string(VorbisTag::MAX_COMMENT, 'z'), "Ab=c"})),
         join({HEAD, {{"Vendor", "v"}, {"Ab", "c"}}, STREAM})},
        {"no comment block",
         text("fLaC") + padding + flacBlock(0, info, true) + flacBlock(4, comments, true),
         join({HEAD, STREAM})},
        {"blocks of other kinds are stepped over",
         text("fLaC") + padding + flacBlock(0, info, false) + application +
             flacBlock(4, comments, true),
         join({HEAD, {{"Vendor", "v"}, {"A1", "x"}}, STREAM})},
        {"nothing after the comment block is read",
         text("fLaC") + flacBlock(4, comments, false) + flacBlock(0, info, true),
         join({HEAD, {{"Vendor", "v"}, {"A1", "x"}}})},
        {"a stream information block longer than 34 bytes",
         text("fLaC") + flacBlock(0, info + Bytes(10, 9), false) + flacBlock(4, comments, true),
         join({HEAD, {{"Vendor", "v"}, {"A1", "x"}}, STREAM})},
        {"not a FLAC file", text("OggS") + Bytes(200, 0), HEAD},
    };
    for (const Case& c : cases) EXPECT_EQ(c.tags, flacTags(c.file)) << c.what;
}

// Damaged files give "Warning:" (twice when a read ran past the end of the file) and
// nothing else; none reads outside the file or allocates from a length.
TEST(FlacImporterTest, PatchedFiles) {
    Bytes info = flacBlock(0, streamInfo(44100, 2, 16, 441000, md5Bytes()), false);
    Bytes good = flacFile(vorbisComments("vendor", {"ARTIST=a", "TITLE=t"}));
    size_t commentsAt = 4 + info.size() + 4;  // the comment block's data
    Bytes vendorLength = good;
    putAt(vendorLength, commentsAt, le32Bytes(0xFFFFFFFF));
    Bytes count = good;
    putAt(count, commentsAt + 4 + 6, le32Bytes(0xFFFFFFFF));
    Bytes commentLength = good;
    putAt(commentLength, commentsAt + 4 + 6 + 4, le32Bytes(0xFFFFFFFF));
    Bytes manyBlocks = text("fLaC");
    for (int i = 0; i < VorbisTag::MAX_BLOCKS + 5; ++i)
        manyBlocks = manyBlocks + flacBlock(1, {}, false);
    manyBlocks = manyBlocks + info;

    TagList once = join({HEAD, {WARNING}});
    TagList twice = join({HEAD, {WARNING, WARNING}});
    struct Case {
        const char* what;
        Bytes file;
        TagList tags;
    } cases[] = {
        {"vendor length 0xFFFFFFFF", vendorLength, once},
        {"comment count 0xFFFFFFFF", count, once},
        {"comment length 0xFFFFFFFF", commentLength, once},
        {"stream information of 10 bytes", text("fLaC") + flacBlock(0, Bytes(10, 0), true), once},
        {"stream information of 0 bytes", text("fLaC") + flacBlock(0, {}, true), once},
        {"comment block of 3 bytes", text("fLaC") + flacBlock(4, Bytes(3, 0), true), once},
        {"more metadata blocks than any file has", manyBlocks, once},
        {"cut inside the comment block", Bytes(good.begin(), good.begin() + (long)commentsAt + 12),
         twice},
        {"cut inside the stream information", Bytes(good.begin(), good.begin() + 20), twice},
        {"cut inside a block header", Bytes(good.begin(), good.begin() + 6), twice},
        {"nothing after the mark", text("fLaC"), twice},
        {"a block of 16 MiB in a small file",
         text("fLaC") + flacBlock(4, Bytes(100, 0), true, 0xFFFFFF), twice},
        {"an empty file", {}, once},
        {"three bytes", text("fLa"), once},
    };
    for (const Case& c : cases) EXPECT_EQ(c.tags, flacTags(c.file)) << c.what;
}

TEST(FlacImporterTest, AnID3v1TagTakesThePlaceOfTheMetadata) {
    Bytes tag(128, 0);
    putAt(tag, 0, text("TAGId3 Title"));
    putAt(tag, 63, text("Id3 Album"));
    putAt(tag, 33, text("Id3 Artist"));
    Bytes file = flacFile(vorbisComments("vendor", {"ARTIST=a"})) + tag;
    EXPECT_EQ(
        join({HEAD, {{"Artist", "Id3 Artist"}, {"Album", "Id3 Album"}, {"Title", "Id3 Title"}}}),
        flacTags(file));

    Bytes noArtist(128, 0);
    putAt(noArtist, 0, text("TAGOnly a title"));
    EXPECT_EQ(join({HEAD, {{"Title", "Only a title"}}}), flacTags(text("junk") + noArtist));
}

// One importer, two files: the second, without comments, gets none of the first's.
TEST(FlacImporterTest, NothingCarriesOverToTheNextFile) {
    Bytes withComments = flacFile(vorbisComments("vendor", {"ARTIST=a"}));
    Bytes without =
        text("fLaC") + flacBlock(0, streamInfo(8000, 1, 8, 0, Bytes(16, 0)), true) + Bytes(8, 0);
    EXPECT_EQ(join({HEAD, {{"Vendor", "vendor"}, {"Artist", "a"}}, STREAM}),
              flacTags(withComments));
    EXPECT_EQ(
        join({HEAD, {{"Num Channels", "1"}, {"Sample Rate", "8000"}, {"Bits per Sample", "8"}}}),
        flacTags(without));
}

TEST(FlacImporterTest, OtherExtensionsAreDeclined) {
    bool took = true;
    EXPECT_TRUE(importBytes(flacImporter, flacFile(vorbisComments("v", {})), "fla", &took).empty());
    EXPECT_FALSE(took);
}

}  // namespace
