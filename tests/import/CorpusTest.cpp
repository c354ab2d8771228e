// The importers against files made by stock encoders and taggers: every tag, in
// order, matches what the tools themselves report about the file.
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "ImportTestUtil.h"
#include "i4min/TempDir.h"
#include "import/ID3v1.h"
#include "import/ImportMaster.h"
#include "import/MP3Info.h"
#include "support/ByteCompare.h"
#include "support/ImportCorpus.h"

namespace {

const std::string& corpus() {
    return importCorpus();
}

// reports.txt: "<file>\t<key>\t<value>" lines, values of one key kept in order.
class Reports {
public:
    Reports() {
        std::ifstream in(corpus() + "/reports.txt");
        std::string line;
        while (std::getline(in, line)) {
            size_t a = line.find('\t'), b = line.find('\t', a + 1);
            if (a == std::string::npos || b == std::string::npos) continue;
            facts[line.substr(0, a)].push_back({line.substr(a + 1, b - a - 1), line.substr(b + 1)});
        }
    }
    std::string get(const std::string& file, const std::string& key) const {
        for (const auto& kv : all(file))
            if (kv.first == key) return kv.second;
        return "";
    }
    double number(const std::string& file, const std::string& key) const {
        std::string v = get(file, key);
        EXPECT_FALSE(v.empty()) << file << ": the tools reported no " << key;
        return atof(v.c_str());
    }
    std::vector<std::pair<std::string, std::string>> all(const std::string& file) const {
        auto it = facts.find(file);
        return it == facts.end() ? std::vector<std::pair<std::string, std::string>>() : it->second;
    }

private:
    std::map<std::string, std::vector<std::pair<std::string, std::string>>> facts;
};

// One expected tag: its text exactly, or a playing time or bitrate near the tools'.
struct Expect {
    enum Kind { EXACT, MINUTES_SECONDS, HOURS_MINUTES, KBPS };
    std::string name;
    std::string text;
    Kind kind;
    double number;
};

Expect exact(const std::string& name, const std::string& text) {
    return {name, text, Expect::EXACT, 0};
}

// Seconds of "[hh:]mm:ss" or of "h:mm" (whole minutes).
double seconds(const std::string& t, Expect::Kind kind) {
    std::vector<int> parts;
    size_t at = 0;
    while (at <= t.size()) {
        size_t colon = t.find(':', at);
        parts.push_back(atoi(t.substr(at, colon - at).c_str()));
        if (colon == std::string::npos) break;
        at = colon + 1;
    }
    if (kind == Expect::HOURS_MINUTES)
        return parts.size() == 2 ? parts[0] * 3600 + parts[1] * 60 : -1;
    double s = 0;
    for (int p : parts) s = s * 60 + p;
    return parts.size() >= 2 ? s : -1;
}

void check(const std::string& file, const std::vector<Expect>& expected, const TagList& got) {
    SCOPED_TRACE(file);
    ASSERT_EQ(expected.size(), got.size()) << testing::PrintToString(got);
    for (size_t i = 0; i < got.size(); ++i) {
        const Expect& e = expected[i];
        EXPECT_EQ(e.name, got[i].first) << "tag " << i;
        const std::string& v = got[i].second;
        switch (e.kind) {
        case Expect::EXACT:
            EXPECT_EQ(e.text, v) << e.name;
            break;
        case Expect::MINUTES_SECONDS: {
            // Whole seconds, cut: within a second below the tools' time.
            double s = seconds(v, e.kind);
            EXPECT_TRUE(s >= 0 && s <= e.number && e.number - s < 1.0) << v << " for " << e.number;
            break;
        }
        case Expect::HOURS_MINUTES: {
            double s = seconds(v, e.kind);
            EXPECT_TRUE(s >= 0 && s <= e.number && e.number - s < 60.0) << v << " for " << e.number;
            break;
        }
        case Expect::KBPS:
            EXPECT_NEAR(e.number, atof(v.c_str()), e.number * 0.02 + 1) << e.name;
            break;
        }
    }
}

class CorpusTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        master = new ImportMaster;
        master->registerImporters();
        reports = new Reports;
    }
    static void TearDownTestSuite() {
        delete master;
        delete reports;
    }

    TagList import(const std::string& name) {
        FileMeta record;
        record.setPath((corpus() + "/" + name).c_str());
        record.setName(name.c_str());
        EXPECT_TRUE(master->import(record)) << name;
        TagList t = tagsOf(record);
        t.erase(t.begin());  // the name tag
        return t;
    }

    // Audio, mp3, the ID3v1 fields when the tools found a tag, length and bitrate.
    std::vector<Expect> mp3(const std::string& f) {
        std::vector<Expect> e = {exact("Type", "Audio"), exact("Format", "mp3")};
        for (const char* field : {"Artist", "Album", "Title"}) {
            std::string key = std::string("id3v1 ") + (char)tolower(field[0]) + (field + 1);
            std::string v = reports->get(f, key);
            if (!v.empty()) e.push_back(exact(field, v));
        }
        e.push_back({"length", "", Expect::MINUTES_SECONDS, reports->number(f, "duration")});
        e.push_back({"bitrate", "", Expect::KBPS, reports->number(f, "bit_rate") / 1000});
        return e;
    }

    // Audio, flac, then the stream information and comments metaflac reports; the
    // comments given as (tag name, comment name as the tools report it).
    std::vector<Expect> flac(const std::string& f,
                             const std::vector<std::pair<std::string, std::string>>& comments) {
        std::vector<Expect> e = {exact("Type", "Audio"), exact("Format", "flac")};
        std::string vendor = reports->get(f, "vendor");
        if (!vendor.empty()) e.push_back(exact("Vendor", vendor));
        for (const auto& c : comments) {
            std::string value;
            for (const auto& kv : reports->all(f))
                if (kv.first == "comment" &&
                    kv.second.compare(0, c.second.size() + 1, c.second + "=") == 0)
                    value = kv.second.substr(c.second.size() + 1);
            e.push_back(exact(c.first, value));
        }
        e.push_back(exact("Num Channels", reports->get(f, "channels")));
        e.push_back(exact("Sample Rate", reports->get(f, "sample_rate")));
        e.push_back(exact("Bits per Sample", reports->get(f, "bits")));
        e.push_back(exact("Total Samples", reports->get(f, "total_samples")));
        e.push_back({"Length", "", Expect::MINUTES_SECONDS,
                     reports->number(f, "total_samples") / reports->number(f, "sample_rate")});
        e.push_back(exact("Raw Audio MD5", reports->get(f, "md5")));
        return e;
    }

    static ImportMaster* master;
    static Reports* reports;
};

ImportMaster* CorpusTest::master;
Reports* CorpusTest::reports;

TEST_F(CorpusTest, MP3FilesOfEveryVersionAndTag) {
    for (const char* f : {"m1-cbr.mp3", "m1-vbr.mp3", "m2-cbr.mp3", "m2-vbr.mp3", "m25-cbr.mp3",
                          "m25-vbr.mp3", "m1-cbr-v1.mp3", "m2-vbr-v1v2.mp3", "m1-vbr-utf16.mp3",
                          "m25-vbr-utf16-v1.mp3", "UPPER.MP3", "Mixed.Mp3"})
        check(f, mp3(f), import(f));
    // The tags the corpus was made with reach the record through the tools' eyes.
    EXPECT_EQ("The Artist", reports->get("m1-cbr-v1.mp3", "id3v1 artist"));
    EXPECT_EQ("Old Title", reports->get("m25-vbr-utf16-v1.mp3", "id3v1 title"));
}

TEST_F(CorpusTest, FlacFilesWithAndWithoutComments) {
    check("f-comments.flac",
          flac("f-comments.flac",
               {{"Artist", "ARTIST"}, {"title", "title"}, {"Album", "ALBUM"}, {"Genre", "GenRE"}}),
          import("f-comments.flac"));
    check("f-nocomments.flac", flac("f-nocomments.flac", {}), import("f-nocomments.flac"));
    check("f-vendor.flac", flac("f-vendor.flac", {}), import("f-vendor.flac"));
    check("Upper.FLAC", flac("Upper.FLAC", {}), import("Upper.FLAC"));
    check("f-mono24.flac",
          flac("f-mono24.flac",
               {{"Waveformatextensible_channel_mask", "WAVEFORMATEXTENSIBLE_CHANNEL_MASK"}}),
          import("f-mono24.flac"));
    EXPECT_EQ("", reports->get("f-nocomments.flac", "vendor")) << "the comment block is gone";
    EXPECT_EQ("441000", reports->get("f-comments.flac", "total_samples"));
}

TEST_F(CorpusTest, FlacFileEndingInID3v1GetsOnlyItsFields) {
    const std::string f = "f-id3v1.flac";
    check(f,
          {exact("Type", "Audio"), exact("Format", "flac"),
           exact("Artist", reports->get(f, "id3v1 artist")),
           exact("Album", reports->get(f, "id3v1 album")),
           exact("Title", reports->get(f, "id3v1 title"))},
          import(f));
    EXPECT_EQ("Id3 Artist", reports->get(f, "id3v1 artist"));
}

TEST_F(CorpusTest, XviDMovies) {
    for (const char* f : {"hour.avi", "audiofirst.divx"}) {
        std::string ext = std::string(f).substr(std::string(f).rfind('.') + 1);
        check(f,
              {exact("Type", "Video"),
               exact("Format", ext),
               exact("codec", reports->get(f, "codec_tag_string")),
               {"length", "", Expect::HOURS_MINUTES, reports->number(f, "duration")}},
              import(f));
    }
    EXPECT_EQ(
        (TagList{{"Type", "Video"}, {"Format", "avi"}, {"codec", "XVID"}, {"length", "1: 5"}}),
        import("hour.avi"));
}

TEST_F(CorpusTest, ShnDigest) {
    check("tone.shn",
          {exact("Type", "Audio"), exact("Format", "shn"),
           exact("MD5 Hash", reports->get("tone.shn", "md5sum"))},
          import("tone.shn"));
}

// The tags ffprobe reads from a file: name to text.
std::map<std::string, std::string> probedTags(const std::string& path) {
    std::map<std::string, std::string> tags;
    std::string cmd = "ffprobe -v error -show_entries format_tags -of default=nw=1 '" + path + "'";
    FILE* p = popen(cmd.c_str(), "r");
    EXPECT_TRUE(p != nullptr) << cmd;
    if (!p) return tags;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        std::string l(line);
        if (!l.empty() && l.back() == '\n') l.pop_back();
        size_t eq = l.find('=');
        if (l.compare(0, 4, "TAG:") == 0 && eq != std::string::npos)
            tags[l.substr(4, eq - 4)] = l.substr(eq + 1);
    }
    EXPECT_EQ(0, pclose(p)) << cmd;
    return tags;
}

// Writing tags into a copy of a corpus file: everything before the tag stays as it was.
class TagWriting : public CorpusTest {
protected:
    // Copies the corpus file into the scratch directory; its bytes before writing.
    std::string copy(const std::string& name) {
        std::string bytes = readText(corpus() + "/" + name);
        writeText(dir / name, bytes);
        return bytes;
    }
    // The copy's tags as the importer gives them, without the name tag.
    TagList imported(const std::string& name) {
        FileMeta record;
        record.setPath((dir / name).c_str());
        record.setName(name.c_str());
        EXPECT_TRUE(master->import(record)) << name;
        TagList t = tagsOf(record);
        t.erase(t.begin());
        return t;
    }
    void expectKept(const std::string& before, const std::string& name, size_t kept) {
        std::string after = readText(dir / name);
        ASSERT_GE(after.size(), kept) << name;
        EXPECT_BYTES_EQ(std::string_view(before).substr(0, kept),
                        std::string_view(after).substr(0, kept))
            << name;
    }
    TempDir dir;
};

TEST_F(TagWriting, ANewTagGoesBehindTheAudio) {
    const std::string f = "m1-cbr.mp3";
    std::string before = copy(f);
    TagList untagged = imported(f);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read((dir / f).c_str()));
    ASSERT_FALSE(info.hasID3v1());
    ASSERT_EQ(MP3Info::WRITTEN,
              info.writeTags("Title W", "Artist W", "Album W", "1999", "a comment", "3", "rock"));
    EXPECT_EQ((long long)before.size() + ID3v1::SIZE, (long long)readText(dir / f).size());
    expectKept(before, f, before.size());

    // The importer finds the fields, and the playing time and bitrate it found before.
    TagList got = imported(f);
    TagList want = {untagged[0],          untagged[1],          {"Artist", "Artist W"},
                    {"Album", "Album W"}, {"Title", "Title W"}, untagged[2],
                    untagged[3]};
    EXPECT_EQ(want, got);
    std::map<std::string, std::string> probed = probedTags(dir / f);
    EXPECT_EQ((std::map<std::string, std::string>{{"title", "Title W"},
                                                  {"artist", "Artist W"},
                                                  {"album", "Album W"},
                                                  {"date", "1999"},
                                                  {"comment", "a comment"},
                                                  {"track", "3"},
                                                  {"genre", "Rock"}}),
              probed);
    // Without a genre a new tag names none.
    copy(f);
    ASSERT_EQ(MP3Info::FOUND, info.read((dir / f).c_str()));
    ASSERT_EQ(MP3Info::WRITTEN, info.writeTags("T", "n/a", "n/a", "n/a", "n/a", "n/a", "n/a"));
    EXPECT_EQ((std::map<std::string, std::string>{{"title", "T"}}), probedTags(dir / f));
}

TEST_F(TagWriting, AnExistingTagIsWrittenOverAndNotApplicableKeepsAField) {
    const std::string f = "m1-cbr-v1.mp3";
    std::string before = copy(f);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read((dir / f).c_str()));
    ASSERT_TRUE(info.hasID3v1());
    ASSERT_EQ(MP3Info::WRITTEN,
              info.writeTags("n/a", "Other Artist", "n/a", "n/a", "n/a", "-1", "n/a"));
    EXPECT_EQ(before.size(), readText(dir / f).size());
    expectKept(before, f, before.size() - ID3v1::SIZE);
    std::map<std::string, std::string> probed = probedTags(dir / f);
    EXPECT_EQ((std::map<std::string, std::string>{{"title", "Title One"},
                                                  {"artist", "Other Artist"},
                                                  {"album", "First Album"},
                                                  {"date", "2001"}}),
              probed);
    TagList got = imported(f);
    ASSERT_EQ(7u, got.size());
    EXPECT_EQ(
        (TagList{{"Artist", "Other Artist"}, {"Album", "First Album"}, {"Title", "Title One"}}),
        TagList(got.begin() + 2, got.begin() + 5));

    // Values outside their ranges and unknown genres keep what is there; texts are cut to
    // their fields, the comment to 28 bytes beside a track.
    ASSERT_EQ(MP3Info::WRITTEN, info.writeTags("n/a", "n/a", "n/a", "999", "n/a", "9", "17"));
    ASSERT_EQ(MP3Info::WRITTEN,
              info.writeTags(std::string(40, 't').c_str(), "n/a", "n/a", "3001",
                             std::string(40, 'c').c_str(), "256", "No Such Genre"));
    EXPECT_EQ(before.size(), readText(dir / f).size());
    probed = probedTags(dir / f);
    EXPECT_EQ((std::map<std::string, std::string>{{"title", std::string(30, 't')},
                                                  {"artist", "Other Artist"},
                                                  {"album", "First Album"},
                                                  {"date", "2001"},
                                                  {"comment", std::string(28, 'c')},
                                                  {"track", "9"},
                                                  {"genre", "Rock"}}),
              probed);
}

TEST_F(TagWriting, TheTagBehindAnID3v2FileLeavesItsFrontAlone) {
    const std::string f = "m25-vbr-utf16-v1.mp3";
    std::string before = copy(f);
    std::map<std::string, std::string> front = probedTags(dir / f);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read((dir / f).c_str()));
    ASSERT_EQ(MP3Info::WRITTEN,
              info.writeTags("New Title", "n/a", "n/a", "n/a", "n/a", "n/a", "n/a"));
    expectKept(before, f, before.size() - ID3v1::SIZE);
    EXPECT_EQ(front, probedTags(dir / f)) << "the ID3v2 tag reads otherwise";
    TagList got = imported(f);
    ASSERT_EQ(7u, got.size());
    EXPECT_EQ((TagList{{"Artist", "Old Artist"}, {"Album", "Old Album"}, {"Title", "New Title"}}),
              TagList(got.begin() + 2, got.begin() + 5));
}

TEST_F(TagWriting, AFileThatCannotBeWrittenIsReportedAndNothingIsMade) {
    MP3Info unread;
    EXPECT_EQ(MP3Info::NOT_WRITTEN, unread.writeTags("t", "a", "b", "2000", "c", "1", "0"));

    const std::string f = "m1-cbr.mp3";
    copy(f);
    MP3Info info;
    ASSERT_EQ(MP3Info::FOUND, info.read((dir / f).c_str()));
    ASSERT_EQ(0, remove((dir / f).c_str()));
    EXPECT_EQ(MP3Info::NOT_WRITTEN, info.writeTags("t", "a", "b", "2000", "c", "1", "0"));
    EXPECT_FALSE(fileExists(dir / f));
    // A directory of the name cannot be opened for writing.
    ASSERT_EQ(0, mkdir((dir / f).c_str(), 0700));
    EXPECT_EQ(MP3Info::NOT_WRITTEN, info.writeTags("t", "a", "b", "2000", "c", "1", "0"));
}

TEST_F(CorpusTest, NamesDecideBeforeContent) {
    EXPECT_EQ(TagList(), import("noextension"));
    EXPECT_EQ(TagList(), import("trailing.mp3."));
    EXPECT_EQ((TagList{{"Type", "Doc"}, {"Format", "txt"}}), import("twice.mp3.txt"));
    EXPECT_EQ((TagList{{"Format", "xyz"}}), import("odd.xyz"));
}

}  // namespace
