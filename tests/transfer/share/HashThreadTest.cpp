#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "../TransferTestSupport.h"
#include "import/ImportMaster.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MD4.h"
#include "meta/MetaTag.h"
#include "support/ImportCorpus.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/ShareList.h"
#include "util/LLView.h"

namespace {

std::string contentOf(size_t n, char seed) {
    std::string s(n, 0);
    for (size_t i = 0; i < n; ++i) s[i] = (char)(seed + i * 7 + (i >> 11));
    return s;
}

class HashThreadTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        mkdir((dir / "S").c_str(), 0777);
        theImportMaster.registerImporters();
    }
    void TearDown() override {
        thread.stop();
        HashThread::setRunningCheck(nullptr);
        known.deleteAll();
        TransferFixture::TearDown();
    }
    // One pass over the directories, to its end.
    void pass(std::vector<std::string> dirs) {
        std::vector<i4_string> paths;
        for (const std::string& d : dirs) paths.push_back(i4_string(d.c_str()));
        thread.startHashing(paths);
        ASSERT_TRUE(waitFor([&] { return thread.isPassDone(); }));
        ASSERT_TRUE(waitFor([&] { return thread.getState() == Thread::NOT_RUNNING; }));
    }
    FileMeta* sharedNamed(const std::string& name) {
        for (FileMeta* m : posted.shared())
            if (name == m->getName()) return m;
        return nullptr;
    }

    FileList known;
    ShareList shares;
    RecordingQueue posted;
    HashThread thread{known, shares, posted.queue};
};

TEST_F(HashThreadTest, APassSharesEveryPlainFileAndSavesTheLists) {
    std::string small = "hello", twoCrumbs = contentOf(486401, 'b');
    writeText(dir / "S/a.txt", small);
    writeText(dir / "S/b.bin", twoCrumbs);
    writeText(dir / "S/.hidden", "");
    mkdir((dir / "S/sub").c_str(), 0777);
    writeText(dir / "S/sub/deeper", "not in this directory");
    ASSERT_EQ(mkfifo((dir / "S/pipe").c_str(), 0600), 0);
    shares.addDirectory((dir / "S").c_str(), true);

    pass({dir / "S"});

    std::vector<FileMeta*> shared = posted.shared();
    ASSERT_EQ(shared.size(), 3u);
    FileMeta* a = sharedNamed("a.txt");
    FileMeta* b = sharedNamed("b.bin");
    FileMeta* hidden = sharedNamed(".hidden");
    ASSERT_TRUE(a && b && hidden);
    EXPECT_EQ(std::string(a->getPath()), dir / "S/a.txt");
    EXPECT_EQ(a->getFileSize(), 5u);
    struct stat st;
    ASSERT_EQ(stat((dir / "S/a.txt").c_str(), &st), 0);
    EXPECT_EQ(a->getModTime(), (uint32_t)st.st_mtime);
    uint8_t digest[16];
    MD4::digest(small.data(), small.size(), digest);
    EXPECT_EQ(memcmp(a->getFileHash(), digest, 16), 0);
    EXPECT_EQ(b->crumbCount(), 2);
    EXPECT_TRUE(b->hasCrumbHashes());
    MD4::digest(twoCrumbs.data(), 486400, digest);
    EXPECT_EQ(b->getCrumbHash(0), FileMeta::crumbValue(digest));
    EXPECT_EQ(hidden->getFileSize(), 0u);

    EXPECT_EQ(posted.count(MSG_PUBLISH), 1);
    EXPECT_EQ(posted.count(MSG_RERANK_DOWNLOADS), 0);
    EXPECT_EQ(known.getList()->count(), 3);
    // The known records keep the local tags, so they outlive the session.
    FileMeta* knownA = known.findByHash(a->getFileHash());
    ASSERT_NE(knownA, nullptr);
    EXPECT_NE(knownA->findTag("# Sent"), nullptr);
    EXPECT_NE(knownA->getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY), nullptr);
    FileList saved;
    EXPECT_TRUE(saved.load(theTransferOptions.getKnownPath().c_str()));
    EXPECT_EQ(saved.getList()->count(), 3);
    saved.deleteAll();
    std::string path = dir / "S";
    std::string length{(char)(path.size() & 0xFF), (char)(path.size() >> 8)};
    EXPECT_EQ(readText(dir / "share.dat"), length + path);
    EXPECT_TRUE(events.saw("status a.txt"));
    EXPECT_TRUE(events.saw("status None."));
    EXPECT_TRUE(events.saw("share list changed"));
    std::string out = console.text();
    EXPECT_NE(out.find("Loading shared files...\n"), std::string::npos);
    EXPECT_NE(out.find("Done loading shared files.\n"), std::string::npos);
}

TEST_F(HashThreadTest, ANewFileIsDescribedByTheImporters) {
    writeText(dir / "S/notes.TXT", "text");
    writeText(dir / "S/song.mp3", "no frame in here");
    writeText(dir / "S/README", "no extension");
    pass({dir / "S"});
    const struct {
        const char* name;
        const char* type;
        const char* format;
    } cases[] = {{"notes.TXT", "Doc", "txt"}, {"song.mp3", "", "mp3"}, {"README", "", ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FileMeta* shared = sharedNamed(c.name);
        ASSERT_NE(shared, nullptr);
        char text[64];
        EXPECT_STREQ(shared->getSpecialTagText(SpecialTagInfo::TYPE, text, sizeof text), c.type);
        EXPECT_STREQ(shared->getSpecialTagText(SpecialTagInfo::FORMAT, text, sizeof text),
                     c.format);
        FileMeta* record = known.findByHash(shared->getFileHash());
        ASSERT_NE(record, nullptr);
        EXPECT_STREQ(record->getSpecialTagText(SpecialTagInfo::FORMAT, text, sizeof text),
                     c.format);
    }
}

// The tags of a record as (stored name, type, text), without the name, the size and the
// tags local to this client.
std::vector<std::string> mediaTags(FileMeta& record) {
    std::vector<std::string> out;
    for (MetaTag* tag : LLView<MetaTag>(record.getTags())) {
        int special = tag->getSpecialId();
        if (special == SpecialTagInfo::NAME || special == SpecialTagInfo::SIZE ||
            special == SpecialTagInfo::UPLOAD_PRIORITY ||
            std::string(tag->getStoredName()) == "# Sent")
            continue;
        char text[256];
        const char* value = tag->getValueText(text, sizeof text);
        out.push_back(std::string(tag->getStoredName()) + "/" + std::to_string(tag->getType()) +
                      "/" + (value ? value : "(none)"));
    }
    return out;
}

// Sharing the importers' media corpus: known.met keeps the tags the importers give. Files
// of the same content have a record each, under their own names, with the tags of the
// first of them that was hashed.
TEST_F(HashThreadTest, KnownMetKeepsTheMediaTagsOfASharedCorpus) {
    const std::string& corpus = importCorpus();
    pass({corpus});
    FileList saved;
    ASSERT_TRUE(saved.load(theTransferOptions.getKnownPath().c_str()));
    i4_dir_listing listing;
    ASSERT_TRUE(i4_list_directory(corpus.c_str(), listing, false));
    // The tags each file gets from the importers, by content.
    std::map<std::string, std::set<std::vector<std::string>>> byContent;
    std::map<std::string, std::string> contentOf;
    for (const i4_string& name : listing.file_names) {
        std::string path = corpus + "/" + name.c_str();
        FileMeta direct;
        direct.setPath(path.c_str());
        direct.setName(name.c_str());
        ASSERT_TRUE(theImportMaster.import(direct)) << name.c_str();
        contentOf[name.c_str()] = readText(path);
        byContent[contentOf[name.c_str()]].insert(mediaTags(direct));
    }
    ASSERT_GT(byContent.size(), 10u);
    EXPECT_EQ(saved.getList()->count(), (int)listing.file_names.size());
    int media = 0;
    for (FileMeta* stored : LLView<FileMeta>(saved.getList())) {
        SCOPED_TRACE(stored->getName());
        ASSERT_EQ(contentOf.count(stored->getName()), 1u);
        const std::set<std::vector<std::string>>& given = byContent[contentOf[stored->getName()]];
        std::vector<std::string> tags = mediaTags(*stored);
        EXPECT_EQ(given.count(tags), 1u) << testing::PrintToString(tags);
        media += tags.size() > 2;
    }
    // Most files carry more than a type and a format: length, bitrate, artist...
    EXPECT_GT(media, 5);
    saved.deleteAll();
}

TEST_F(HashThreadTest, UnchangedFilesAreSharedWithoutReadingThem) {
    writeText(dir / "S/one", "one");
    writeText(dir / "S/two", contentOf(600000, 't'));
    pass({dir / "S"});
    ASSERT_EQ(posted.shared().size(), 2u);
    int32_t high = 2;
    known.lock();
    for (int i = 0; i < 2; ++i)
        ((FileMeta*)known.getList()->getAt(i))
            ->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &high);
    known.unlock();
    events.clear();

    pass({dir / "S"});
    std::vector<FileMeta*> shared = posted.shared();
    ASSERT_EQ(shared.size(), 4u);
    for (int i = 2; i < 4; ++i)
        EXPECT_EQ(shared[i]->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY), 2);
    // Only the end of the pass reports a status: no file was hashed.
    EXPECT_EQ(events.events(), (std::vector<std::string>{"status None.", "share list changed"}));
    EXPECT_EQ(known.getList()->count(), 2);
}

TEST_F(HashThreadTest, ARenamedFileIsHashedAgainAndTakesOverItsKnownRecord) {
    std::string content = contentOf(1000, 'r');
    writeText(dir / "S/old name", content);
    pass({dir / "S"});
    ASSERT_EQ(known.getList()->count(), 1);
    int32_t priority = 3;
    ((FileMeta*)known.getAt(0))->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &priority);
    ASSERT_EQ(rename((dir / "S/old name").c_str(), (dir / "S/new name").c_str()), 0);
    events.clear();

    pass({dir / "S"});
    EXPECT_TRUE(events.saw("status new name"));
    ASSERT_EQ(known.getList()->count(), 1);
    FileMeta* record = (FileMeta*)known.getAt(0);
    EXPECT_STREQ(record->getName(), "new name");
    EXPECT_EQ(std::string(record->getPath()), dir / "S/new name");
    FileMeta* shared = posted.shared().back();
    EXPECT_STREQ(shared->getName(), "new name");
    EXPECT_EQ(shared->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY), 3);
}

// Two files of one name, size and time in two directories are two files: each is shared
// under the hash of its own bytes, in the pass that reads them and in the next one, which
// reads neither, also when the known list comes back from known.met.
TEST_F(HashThreadTest, FilesOfOneNameSizeAndTimeInTwoDirectoriesKeepTheirOwnHashes) {
    mkdir((dir / "T").c_str(), 0777);
    const std::map<std::string, std::string> content = {{dir / "S/same.bin", contentOf(1000, 's')},
                                                        {dir / "T/same.bin", contentOf(1000, 't')}};
    struct timespec times[2] = {{1700000000, 0}, {1700000000, 0}};
    for (const auto& f : content) {
        writeText(f.first, f.second);
        ASSERT_EQ(utimensat(AT_FDCWD, f.first.c_str(), times, 0), 0);
    }
    const char* rounds[] = {"hashed", "known again", "known.met read back"};
    for (const char* round : rounds) {
        SCOPED_TRACE(round);
        if (round == rounds[2]) {
            known.deleteAll();
            ASSERT_TRUE(known.load(theTransferOptions.getKnownPath().c_str()));
        }
        events.clear();
        size_t before = posted.shared().size();
        pass({dir / "S", dir / "T"});
        std::vector<FileMeta*> shared = posted.shared();
        ASSERT_EQ(shared.size(), before + 2);
        for (size_t i = before; i < shared.size(); ++i) {
            const std::string& bytes = content.at(shared[i]->getPath());
            uint8_t own[16];
            MD4::digest((const uint8_t*)bytes.data(), bytes.size(), own);
            EXPECT_EQ(memcmp(shared[i]->getFileHash(), own, 16), 0) << shared[i]->getPath();
        }
        EXPECT_EQ(known.getList()->count(), 2);
        EXPECT_EQ(events.saw("status same.bin"), round == rounds[0]);
    }
}

TEST_F(HashThreadTest, AnUnlistableDirectoryIsReportedAndHandedBackForRemoval) {
    writeText(dir / "S/x", "x");
    pass({dir / "gone", dir / "S"});
    EXPECT_NE(console.text().find("Couldn't hash: " + dir / "gone\n"), std::string::npos);
    std::string dropped;
    for (RecordingQueue::Posted& p : posted.drain())
        if (p.id == MSG_DROP_SHARED_DIRECTORY) dropped = p.text->c_str();
    EXPECT_EQ(dropped, dir / "gone");
    EXPECT_EQ(posted.shared().size(), 1u);
}

TEST_F(HashThreadTest, FilesOf4GiBOrMoreAreSkippedWithAMessage) {
    writeText(dir / "S/huge", "");
    ASSERT_EQ(truncate((dir / "S/huge").c_str(), 0x100000000LL), 0);
    writeText(dir / "S/small", "s");
    pass({dir / "S"});
    EXPECT_NE(console.text().find("Not shared, 4 GiB or more: huge\n"), std::string::npos)
        << console.text();
    ASSERT_EQ(posted.shared().size(), 1u);
    EXPECT_STREQ(posted.shared()[0]->getName(), "small");
    EXPECT_FALSE(events.saw("status huge"));
}

// Quitting while a large file is hashed ends the thread within a crumb, leaving no
// record of that file.
TEST_F(HashThreadTest, AStopEndsTheHashOfALargeFile) {
    const struct {
        const char* how;
        bool byRunningFlag;
    } cases[] = {{"thread stopped", false}, {"application quits", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        writeText(dir / "S/big", "");
        ASSERT_EQ(truncate((dir / "S/big").c_str(), 3000000000LL), 0);
        events.clear();
        std::vector<i4_string> paths{i4_string((dir / "S").c_str())};
        thread.startHashing(paths);
        ASSERT_TRUE(waitFor([&] { return events.saw("status big"); }));
        if (c.byRunningFlag) {
            HashThread::setRunningCheck([] { return false; });
            ASSERT_TRUE(waitFor([&] { return thread.getState() == Thread::NOT_RUNNING; }));
            HashThread::setRunningCheck(nullptr);
        } else {
            thread.stop();
        }
        EXPECT_EQ(thread.getState(), Thread::NOT_RUNNING);
        EXPECT_FALSE(thread.isPassDone());
        EXPECT_EQ(posted.shared().size(), 0u);
        EXPECT_EQ(known.getList()->count(), 0);
        EXPECT_FALSE(fileExists(theTransferOptions.getKnownPath().c_str()));
    }
}

}  // namespace
