#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "i4min/TempDir.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "support/CapturedUI.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferOptions.h"

namespace {

std::string stored(const std::vector<std::string>& paths) {
    std::string bytes;
    for (const std::string& p : paths) {
        bytes += (char)(p.size() & 0xFF);
        bytes += (char)(p.size() >> 8);
        bytes += p;
    }
    return bytes;
}

std::vector<std::string> names(ShareList& list) {
    std::vector<i4_string> got;
    list.directoryNames(got);
    std::vector<std::string> out;
    for (const i4_string& s : got) out.push_back(s.c_str());
    return out;
}

class ShareListTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        savedIncoming = theTransferOptions.getIncoming().c_str();
        incoming = dir / "incoming";
        theTransferOptions.setIncoming(incoming.c_str());
        for (const char* d : {"S1", "S2", "S3"}) mkdir((dir / d).c_str(), 0777);
    }
    void TearDown() override { theTransferOptions.setIncoming(savedIncoming.c_str()); }

    CapturedUI console;
    TempDir dir;
    std::string incoming;
    std::string savedIncoming;
    ShareList list;
};

TEST_F(ShareListTest, SamePathComparesLettersExactly) {
    const struct {
        const char* a;
        const char* b;
        bool same;
    } cases[] = {
        {"/d/Music", "/d/Music", true}, {"/d/Music", "/d/music", false}, {"/d/m", "/d/m/", true},
        {"/d/m/", "/d/m", true},        {"/d/m\\", "/d/m", true},        {"/d\\m", "/d/m", true},
        {"/d/m", "/d/m//", false},      {"/d/mx", "/d/m", false},        {"/d/m", "/d/mx", false},
        {"/d/m", "/d/n", false},        {"/d/m/", "/d/mx", false},       {"", "", true},
        {"/d/m", nullptr, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShareList::samePath(c.a, c.b), c.same) << c.a << " ~ " << (c.b ? c.b : "null");
        if (c.b) {
            EXPECT_EQ(ShareList::samePath(c.b, c.a), c.same) << c.b << " ~ " << c.a;
        }
    }
}

TEST_F(ShareListTest, WithoutShareDatOnlyIncomingIsShared) {
    list.load((dir / "share.dat").c_str());
    EXPECT_EQ(names(list), std::vector<std::string>{incoming});
    EXPECT_EQ(console.text(), "");
}

TEST_F(ShareListTest, LoadSkipsEmptyAndUnlistablePathsAndKeepsIncomingOnce) {
    writeText(dir / "share.dat",
              stored({dir / "S1", "", dir / "gone", incoming + "/", dir / "S2"}));
    list.load((dir / "share.dat").c_str());
    EXPECT_EQ(names(list), (std::vector<std::string>{dir / "S1", incoming + "/", dir / "S2"}));
    EXPECT_EQ(console.text(), "");
}

TEST_F(ShareListTest, AShareDatCutShortKeepsThePathsBeforeTheCut) {
    std::string bytes = stored({dir / "S1", dir / "S2"});
    writeText(dir / "share.dat", bytes.substr(0, bytes.size() - 3));
    list.load((dir / "share.dat").c_str());
    EXPECT_EQ(names(list), (std::vector<std::string>{dir / "S1", incoming}));
}

TEST_F(ShareListTest, SaveWritesThePathsInOrderAndReadsBackTheSame) {
    list.setDirectories({i4_string(incoming.c_str()), i4_string((dir / "S1").c_str()),
                         i4_string((dir / "S2").c_str())});
    ASSERT_TRUE(list.save((dir / "share.dat").c_str()));
    EXPECT_EQ(readText(dir / "share.dat"), stored({incoming, dir / "S1", dir / "S2"}));
    ShareList again;
    again.load((dir / "share.dat").c_str());
    EXPECT_EQ(names(again), names(list));
}

TEST_F(ShareListTest, ReadPathsStopsAtATruncatedPath) {
    std::string bytes = stored({"a", "bc"}) + std::string("\x05\x00x", 3);
    i4_ram_file_class f((void*)bytes.data(), (int32_t)bytes.size(), 0);
    std::vector<i4_string> paths;
    EXPECT_THROW(ShareList::readPaths(f, paths), i4_err);
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_STREQ(paths[1].c_str(), "bc");
}

TEST_F(ShareListTest, AddDirectoryChecksListingAndDuplicates) {
    EXPECT_TRUE(list.addDirectory((dir / "S1").c_str(), true));
    EXPECT_FALSE(list.addDirectory((dir / "nothere").c_str(), true));
    EXPECT_EQ(console.text(), "");
    EXPECT_FALSE(list.addDirectory((dir / "S1/").c_str(), true));
    EXPECT_EQ(console.text(), "directory already added.\n");
    // Another letter case is another directory on this system.
    mkdir((dir / "s1").c_str(), 0777);
    EXPECT_TRUE(list.addDirectory((dir / "s1").c_str(), true));
    EXPECT_EQ(names(list), (std::vector<std::string>{dir / "S1", dir / "s1"}));
}

TEST_F(ShareListTest, SetDirectoriesAlwaysKeepsIncoming) {
    const struct {
        std::vector<std::string> given;
        std::vector<std::string> listed;
    } cases[] = {
        {{}, {incoming}},
        {{dir / "S1"}, {dir / "S1", incoming}},
        {{incoming + "/", dir / "S1"}, {incoming + "/", dir / "S1"}},
        {{dir / "S1", dir / "nothere", dir / "S1"}, {dir / "S1", incoming}},
    };
    for (const auto& c : cases) {
        std::vector<i4_string> given;
        for (const std::string& p : c.given) given.push_back(i4_string(p.c_str()));
        list.setDirectories(given);
        EXPECT_EQ(names(list), c.listed);
    }
}

TEST_F(ShareListTest, FilesAreFiledOnlyUnderListedDirectories) {
    list.setDirectories({i4_string((dir / "S1").c_str())});
    FileMeta a, b, c, d;
    EXPECT_TRUE(list.addFile((dir / "S1/").c_str(), &a));
    EXPECT_TRUE(list.addFile(ShareList::INCOMPLETE, &b));
    // A directory removed meanwhile is not made again.
    EXPECT_FALSE(list.addFile((dir / "S2").c_str(), &c));
    EXPECT_EQ(list.findDirectoryFiles((dir / "S2").c_str()), nullptr);
    EXPECT_EQ(list.count(), 2);
    // The incoming directory is always shared, also after it changed.
    std::string newIncoming = dir / "in2";
    theTransferOptions.setIncoming(newIncoming.c_str());
    EXPECT_TRUE(list.addFile(newIncoming.c_str(), &d));
    EXPECT_EQ(names(list), (std::vector<std::string>{dir / "S1", incoming, newIncoming}));
    EXPECT_FALSE(list.addFile((dir / "S1").c_str(), nullptr));
    EXPECT_EQ(console.text(), "attempting to add null meta to shared directory\n");

    FileList* s1 = list.findDirectoryFiles((dir / "S1").c_str());
    ASSERT_NE(s1, nullptr);
    EXPECT_EQ(s1->getAt(0), &a);
    FileList* partial = list.findDirectoryFiles("!Incomplete Files");
    ASSERT_NE(partial, nullptr);
    EXPECT_EQ(partial->getAt(0), &b);

    list.removeFile((dir / "S1").c_str(), &a);
    list.removeFile(nullptr, &b);
    EXPECT_EQ(s1->getList()->count(), 0);
    EXPECT_EQ(partial->getList()->count(), 0);
    list.addFile((dir / "S1").c_str(), &a);
    list.clearFiles();
    EXPECT_EQ(s1->getList()->count(), 0);
    EXPECT_EQ(list.findDirectoryFiles(newIncoming.c_str())->getList()->count(), 0);
}

}  // namespace
