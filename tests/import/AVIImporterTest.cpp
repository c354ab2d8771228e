#include <gtest/gtest.h>

#include "ImportTestUtil.h"
#include "import/AVIImporter.h"

namespace {

// A RIFF chunk: id, size, data and the pad byte of an odd size. `size` overrides the
// size field (the data stays as given).
Bytes chunk(const char* id, const Bytes& data, int64_t size = -1) {
    Bytes b = text(id) + le32Bytes(size < 0 ? (uint32_t)data.size() : (uint32_t)size) + data;
    if (data.size() & 1) b.push_back(0);
    return b;
}

Bytes list(const char* type, const Bytes& body, int64_t size = -1) {
    return chunk("LIST", text(type) + body, size);
}

Bytes avih(uint32_t size = 56) {
    return chunk("avih", Bytes(size == 0xFFFFFFFF ? 56 : size, 0), size);
}

// A stream header of 56 bytes (or `size`) with the fields the importer reads.
Bytes strh(const char* type, const std::string& handler, uint32_t scale, uint32_t rate,
           uint32_t length, uint32_t size = 56) {
    Bytes d(56, 0);
    putAt(d, 0, text(type));
    putAt(d, 4, text(handler));
    putAt(d, 20, le32Bytes(scale));
    putAt(d, 24, le32Bytes(rate));
    putAt(d, 32, le32Bytes(length));
    d.resize(size);
    return chunk("strh", d);
}

Bytes strl(const Bytes& header) {
    return list("strl", header + chunk("strf", Bytes(40, 0)));
}

Bytes avi(const Bytes& hdrlBody, int64_t hdrlSize = -1) {
    Bytes body = list("hdrl", hdrlBody, hdrlSize) + list("movi", Bytes(16, 0));
    return text("RIFF") + le32Bytes((uint32_t)body.size() + 4) + text("AVI ") + body;
}

// Importers keep no state, so one serves every case.
AVIImporter aviImporter;

const TagList VIDEO_ONLY = {{"Type", "Video"}, {"Format", "avi"}};

TagList video(const char* codec, const char* length) {
    TagList t = VIDEO_ONLY;
    if (codec) t.push_back({"codec", codec});
    if (length) t.push_back({"length", length});
    return t;
}

TEST(AVIImporterTest, CodecAndLengthOfTheVideoStream) {
    Bytes audio = strl(strh("auds", "\x55", 1, 8000, 80000));
    struct Case {
        const char* what;
        Bytes file;
        TagList tags;
    } cases[] = {
        {"an hour and five minutes at 25 frames a second",
         avi(avih() + strl(strh("vids", "XVID", 1, 25, 25 * 3900))), video("XVID", "1: 5")},
        {"one frame every ten seconds", avi(avih() + strl(strh("vids", "DX50", 10, 1, 390))),
         video("DX50", "1: 5")},
        {"NTSC rate 30000/1001, 90 minutes",
         avi(avih() + strl(strh("vids", "div3", 1001, 30000, 161839))), video("div3", "1:30")},
        {"the audio stream first", avi(avih() + audio + strl(strh("vids", "XVID", 1, 25, 1500))),
         video("XVID", "0: 1")},
        {"a later video header replaces an earlier one",
         avi(avih() + strl(strh("vids", "AAAA", 1, 25, 1500)) +
             strl(strh("vids", "BBBB", 1, 25, 90000))),
         video("BBBB", "1: 0")},
        {"a stream header of 36 bytes", avi(avih() + strl(strh("vids", "XVID", 1, 1, 7200, 36))),
         video("XVID", "2: 0")},
        {"a stream header of 64 bytes", avi(avih() + strl(strh("vids", "XVID", 1, 1, 60, 64))),
         video("XVID", "0: 1")},
        {"a stream header of 35 bytes is no video header",
         avi(avih() + strl(strh("vids", "XVID", 1, 1, 60, 35))), VIDEO_ONLY},
        {"odd chunks are padded",
         avi(avih() + chunk("JUNK", Bytes(3, 0)) +
             list("strl", chunk("strn", text("odd")) + strh("vids", "XVID", 1, 1, 60))),
         video("XVID", "0: 1")},
        {"a codec cut at a zero byte",
         avi(avih() + strl(strh("vids", std::string("M\0PG", 4), 1, 1, 60))), video("M", "0: 1")},
        {"no codec", avi(avih() + strl(strh("vids", std::string(4, 0), 1, 1, 60))),
         video(nullptr, "0: 1")},
        {"only audio", avi(avih() + audio), VIDEO_ONLY},
        {"no stream list at all", avi(avih()), VIDEO_ONLY},
        {"a rate of 0", avi(avih() + strl(strh("vids", "XVID", 1, 0, 60))), video("XVID", nullptr)},
        {"a scale of 0", avi(avih() + strl(strh("vids", "XVID", 0, 25, 60))),
         video("XVID", nullptr)},
        {"a length too long for the text",
         avi(avih() + strl(strh("vids", "XVID", 0xFFFFFFFF, 1, 0xFFFFFFFF))),
         video("XVID", nullptr)},
    };
    for (const Case& c : cases) {
        bool took = false;
        EXPECT_EQ(c.tags, importBytes(aviImporter, c.file, "avi", &took)) << c.what;
        EXPECT_TRUE(took) << c.what;
    }
}

TEST(AVIImporterTest, FormatIsTheExtension) {
    Bytes file = avi(avih() + strl(strh("vids", "XVID", 1, 25, 25)));
    AVIImporter importer;
    TagList divx = {{"Type", "Video"}, {"Format", "divx"}, {"codec", "XVID"}, {"length", "0: 0"}};
    EXPECT_EQ(divx, importBytes(importer, file, "divx"));
    bool took = true;
    EXPECT_TRUE(importBytes(importer, file, "mkv", &took).empty());
    EXPECT_FALSE(took);
}

// Sizes of 0, 3 and 0xFFFFFFFF put into each size field: the import declines, or
// describes what it read before the damage; it never reads outside the file.
TEST(AVIImporterTest, PatchedSizes) {
    Bytes video = strl(strh("vids", "XVID", 1, 25, 1500));
    TagList full = {{"Type", "Video"}, {"Format", "avi"}, {"codec", "XVID"}, {"length", "0: 1"}};
    TagList none;
    struct Case {
        const char* what;
        Bytes file;
        TagList tags;
    } cases[] = {
        {"header list size 0", avi(avih() + video, 0), none},
        {"header list size 3", avi(avih() + video, 3), none},
        {"header list size 0xFFFFFFFF", avi(avih() + video, 0xFFFFFFFF), none},
        {"header list past the end of the file", avi(avih() + video, 1000), none},
        {"avih size 0", avi(avih(0) + video), none},
        {"avih size 3", avi(avih(3) + video), none},
        {"avih size 64", avi(avih(64) + video), none},
        // A chunk that runs past its list ends the walk; what came before it stands.
        {"avih size 0xFFFFFFFF", avi(avih(0xFFFFFFFF) + video), VIDEO_ONLY},
        {"video after a chunk of size 0xFFFFFFFF",
         avi(avih() + chunk("JUNK", Bytes(8, 0), 0xFFFFFFFF) + video), VIDEO_ONLY},
        {"video before a chunk of size 0xFFFFFFFF",
         avi(avih() + video + chunk("JUNK", Bytes(8, 0), 0xFFFFFFFF)), full},
        // Size 0: the list type is read as the next chunk's header.
        {"strl size 0", avi(avih() + list("strl", {}, 0) + video), VIDEO_ONLY},
        {"strl size 3", avi(avih() + chunk("LIST", text("str"), 3) + video), full},
        {"strl size 0xFFFFFFFF",
         avi(avih() + list("strl", strh("vids", "XVID", 1, 25, 1500), 0xFFFFFFFF)), VIDEO_ONLY},
        {"strh size 0", avi(avih() + list("strl", chunk("strh", {})) + video), full},
        {"strh size 3", avi(avih() + list("strl", chunk("strh", text("vid"))) + video), full},
        {"strh size 0xFFFFFFFF",
         avi(avih() + list("strl", chunk("strh", text("vids"), 0xFFFFFFFF)) + video), full},
    };
    for (const Case& c : cases) {
        bool took = false;
        TagList tags = importBytes(aviImporter, c.file, "avi", &took);
        EXPECT_EQ(!c.tags.empty(), took) << c.what;
        EXPECT_EQ(c.tags, tags) << c.what;
    }
}

TEST(AVIImporterTest, WrongMainHeaderSizeIsReported) {
    testing::internal::CaptureStdout();
    bool took = true;
    importBytes(aviImporter, avi(avih(64)), "avi", &took);
    EXPECT_EQ("AVI header not correct size!\n", testing::internal::GetCapturedStdout());
    EXPECT_FALSE(took);
}

TEST(AVIImporterTest, TruncatedAndForeignFilesDecline) {
    Bytes good = avi(avih() + strl(strh("vids", "XVID", 1, 25, 25)));
    Bytes wrongForm = good;
    putAt(wrongForm, 8, text("WAVE"));
    Bytes wrongList = good;
    putAt(wrongList, 20, text("movi"));
    for (const Bytes& b :
         {Bytes(good.begin(), good.begin() + 23), Bytes(good.begin(), good.begin() + 100),
          wrongForm, wrongList, Bytes()}) {
        bool took = true;
        EXPECT_TRUE(importBytes(aviImporter, b, "avi", &took).empty());
        EXPECT_FALSE(took) << b.size();
    }
}

// A header list beyond the cap is refused before it is walked.
TEST(AVIImporterTest, HeaderListAboveTheCapIsRefused) {
    uint32_t size = AVIImporter::MAX_HEADER_LIST + 8;
    SparseFile f(24 + (int64_t)size);
    Bytes head = text("RIFF") + le32Bytes(size + 16) + text("AVI LIST") + le32Bytes(size) +
                 text("hdrl") + avih();
    f.place(0, head);
    FileMeta record;
    EXPECT_FALSE(AVIImporter().import(record, f, "avi"));
    EXPECT_EQ(24, f.bytesRead) << "only the file's head was read";
}

TEST(AVIImporterTest, AudioFormatNames) {
    struct Case {
        int tag;
        const char* name;
    } cases[] = {{80, "MPEG"},
                 {85, "MP3"},
                 {1, "PCM"},
                 {2, "Unknown format (2)"},
                 {-1, "Unknown format (-1)"}};
    for (const Case& c : cases) EXPECT_STREQ(c.name, AVIImporter::audioFormatName(c.tag).c_str());
}

}  // namespace
