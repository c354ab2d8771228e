#include <gtest/gtest.h>
#include <vector>

#include "ImportTestUtil.h"
#include "i4min/TempDir.h"
#include "i4min/string/i4_err.h"
#include "import/AppImporter.h"
#include "import/DefaultImporter.h"
#include "import/DocImporter.h"
#include "import/ImportMaster.h"
#include "import/MP3Importer.h"
#include "import/PictureImporter.h"
#include "import/RMImporter.h"
#include "support/CapturedUI.h"

namespace {

class ImportMasterTest : public ::testing::Test {
protected:
    void SetUp() override { master.registerImporters(); }

    // Imports a file of that name and content from the scratch directory.
    TagList importFile(const std::string& name, const std::string& content, bool* ok = nullptr) {
        writeText(dir / name, content);
        FileMeta record;
        record.setPath((dir / name).c_str());
        record.setName(name.c_str());
        bool r = master.import(record);
        if (ok) *ok = r;
        TagList t = tagsOf(record);
        t.erase(t.begin());  // the name tag
        return t;
    }

    TempDir dir;
    ImportMaster master;
};

TagList typed(const char* type, const char* format) {
    return {{"Type", type}, {"Format", format}};
}

TEST_F(ImportMasterTest, ExtensionsChooseTheImporter) {
    std::string textContent = "plain text, no frame header in it";
    struct Case {
        const char* name;
        TagList tags;
    } cases[] = {
        {"a.gif", typed("Image", "gif")},
        {"b.JPEG", typed("Image", "jpeg")},
        {"c.psd", typed("Image", "psd")},
        {"d.mov", typed("Video", "mov")},
        {"e.Vcd", typed("Video", "vcd")},
        {"f.zip", typed("Pro", "zip")},
        {"g.tar", typed("Pro", "tar")},
        {"h.html", typed("Doc", "html")},
        {"i.ogg", typed("Audio", "ogg")},
        {"j.MOD", typed("Audio", "mod")},
        {"y.mp3.txt", typed("Doc", "txt")},
        {"X.MP3", {{"Format", "mp3"}}},
        {"q.avi", {{"Format", "avi"}}},
        {"q.DivX", {{"Format", "divx"}}},
        {"weird.XyZ", {{"Format", "xyz"}}},
        {"readme", {}},
        {"trailing.mp3.", {}},
        {".hidden", {{"Format", "hidden"}}},
        {"n.flac", typed("Audio", "flac")},
    };
    for (const Case& c : cases) {
        bool ok = false;
        EXPECT_EQ(c.tags, importFile(c.name, textContent, &ok)) << c.name;
        EXPECT_TRUE(ok) << c.name;
    }
}

TEST_F(ImportMasterTest, ShnFilesGetTheirMD5) {
    TagList expected = typed("Audio", "shn");
    expected.push_back({"MD5 Hash", "9e107d9d372bb6826bd81d3542a419d6"});
    EXPECT_EQ(expected, importFile("t.SHN", "The quick brown fox jumps over the lazy dog"));
    expected.back().second = "d41d8cd98f00b204e9800998ecf8427e";
    EXPECT_EQ(expected, importFile("empty.shn", ""));
}

TEST_F(ImportMasterTest, AFileThatCannotBeOpenedIsRefused) {
    FileMeta record;
    record.setPath((dir / "missing.mp3").c_str());
    record.setName("missing.mp3");
    EXPECT_FALSE(master.import(record));
    EXPECT_EQ(1u, tagsOf(record).size()) << "nothing but the name";
}

TEST_F(ImportMasterTest, RegisteringAgainKeepsOneOfEach) {
    EXPECT_EQ(8, master.count());
    master.registerImporters();
    EXPECT_EQ(8, master.count());
}

// Tags what it sees at the file's offset, declines, or throws.
class ProbeImporter : public Importer {
public:
    enum Then { DECLINE, ACCEPT, THROW };
    explicit ProbeImporter(Then t) : then(t) {}
    bool import(FileMeta& record, i4_file& file, const char*) override {
        int32_t at = (int32_t)file.tell();
        addInt(record, "offset", at);
        char skip[5];
        file.read(skip, sizeof skip);
        if (then == THROW) I4_ERROR("broken reader");
        return then == ACCEPT;
    }
    Then then;
};

TEST_F(ImportMasterTest, EachImporterStartsAtOffsetZeroAndTheFirstTakerEnds) {
    ImportMaster own;
    own.add(new ProbeImporter(ProbeImporter::DECLINE));
    own.add(new ProbeImporter(ProbeImporter::ACCEPT));
    own.add(new ProbeImporter(ProbeImporter::ACCEPT));
    writeText(dir / "f.bin", "0123456789");
    FileMeta record;
    record.setPath((dir / "f.bin").c_str());
    record.setName("f.bin");
    EXPECT_TRUE(own.import(record));
    TagList expected = {{"Name", "f.bin"}, {"offset", "0"}, {"offset", "0"}};
    EXPECT_EQ(expected, tagsOf(record));
}

TEST_F(ImportMasterTest, AnErrorInAnImporterEndsTheSearchAndKeepsTheTags) {
    ImportMaster own;
    own.add(new ProbeImporter(ProbeImporter::THROW));
    own.add(new DefaultImporter);
    writeText(dir / "f.bin", "0123456789");
    FileMeta record;
    record.setPath((dir / "f.bin").c_str());
    record.setName("f.bin");
    CapturedUI ui;
    ui.gateway.setVerbose(true);
    EXPECT_TRUE(own.import(record));
    TagList expected = {{"Name", "f.bin"}, {"offset", "0"}};
    EXPECT_EQ(expected, tagsOf(record)) << "the default importer was not reached";
    EXPECT_NE(std::string::npos, ui.text().find("Exception in import\n")) << ui.text();
}

// The kinds that describe a file by its name never read it.
TEST(ImporterKindsTest, UnreadKindsReadNothing) {
    MP3Importer mp3;
    PictureImporter picture;
    RMImporter rm;
    AppImporter app;
    DocImporter doc;
    DefaultImporter def;
    struct Case {
        Importer* importer;
        const char* ext;
    } cases[] = {{&mp3, "ogg"}, {&mp3, "mod"}, {&picture, "png"}, {&rm, "wmv"},
                 {&app, "iso"}, {&doc, "pdf"}, {&def, "xyz"}};
    for (const Case& c : cases) {
        SparseFile f(1000);
        FileMeta record;
        EXPECT_TRUE(c.importer->import(record, f, c.ext)) << c.ext;
        EXPECT_EQ(0, f.reads) << c.ext;
    }
}

}  // namespace
