#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string.h>
#include <thread>

#include "MetaTestUtil.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MD4.h"
#include "meta/MetaTag.h"
#include "util/LLView.h"

namespace {

class FileMetaTest : public ::testing::Test {
protected:
    void SetUp() override { initSpecialTags(); }
    CapturedOutput out;
};

Bytes seq(int n, uint8_t from) {
    Bytes b(n);
    for (int i = 0; i < n; ++i) b[i] = (uint8_t)(from + i);
    return b;
}

// A record of the given size whose part hashes (when it has two or more parts) hash
// to its file hash, with crumb hashes when it has two or more crumbs.
std::unique_ptr<FileMeta> record(const char* name, uint32_t size, bool withParts = true,
                                 bool withCrumbs = true) {
    std::unique_ptr<FileMeta> m(new FileMeta());
    m->setName(name);
    m->setFileSize(size);
    m->setModTime(0x04030201);
    int parts = m->partCount(), crumbs = m->crumbCount();
    Bytes ph = seq(parts * 16, 0x40);
    uint8_t h[16];
    if (parts >= 2)
        MD4::digest(ph.data(), ph.size(), h);
    else
        md4String(h, name);
    m->setFileHash(h);
    if (parts >= 2 && withParts) {
        EXPECT_TRUE(m->setPartHashes(ph.data(), parts));
    }
    if (crumbs >= 2 && withCrumbs) {
        Bytes ch = seq(crumbs * 8, 0x80);
        m->setCrumbHashes(ch.data(), crumbs);
    }
    return m;
}

Bytes diskBytes(FileMeta& m) {
    return written([&](i4_file& f) { EXPECT_TRUE(m.toBytes(f)); });
}

TEST_F(FileMetaTest, KnownFileRecordOfAOneByteFile) {
    FileMeta m;
    m.setName("a");
    m.setFileSize(1);
    m.setModTime(0x04030201);
    Bytes hash = seq(16, 0xA0);
    m.setFileHash(hash.data());
    Bytes want = Bytes{0x02, 0x01, 0x02, 0x03, 0x04} + hash +
                 Bytes{0x02, 0x00, 0x00, 0x00,                           // two tags
                       0x02, 0x01, 0x00, 0x01, 0x01, 0x00, 'a',          // Name "a"
                       0x03, 0x01, 0x00, 0x02, 0x01, 0x00, 0x00, 0x00};  // Size 1
    EXPECT_EQ(hex(diskBytes(m)), hex(want));
    EXPECT_EQ(m.hashSetsSize(), 0);

    FileMeta back;
    ByteReader r(want);
    ASSERT_TRUE(back.fromDisk(*r));
    EXPECT_EQ(hex(diskBytes(back)), hex(want));
    EXPECT_EQ(back.getModTime(), 0x04030201u);

    // Wire form: hash, u32 0, u16 0, tags; no path, time or hash sets.
    Bytes wire = hash + Bytes{0, 0, 0, 0, 0, 0} + Bytes(want.begin() + 21, want.end());
    EXPECT_EQ(hex(written([&](i4_file& f) { EXPECT_TRUE(m.toNetwork(f)); })), hex(wire));
    EXPECT_EQ(m.size(), (int)wire.size());
    FileMeta fromWire;
    Bytes filled = wire;
    filled[16] = 0x7F;  // a server's id and port in the skipped fields
    filled[20] = 0x12;
    ByteReader w(filled);
    ASSERT_TRUE(fromWire.fromNetwork(*w));
    EXPECT_EQ(hex(Bytes(fromWire.getFileHash(), fromWire.getFileHash() + 16)), hex(hash));
    EXPECT_EQ(fromWire.getFileSize(), 1u);
}

TEST_F(FileMetaTest, HashSetSections) {
    const struct {
        const char* what;
        uint32_t size;
        bool parts, crumbs;
        Bytes section;  // first bytes of the section, then the count of bytes after them
        int total;
    } table[] = {
        {"empty file", 0, true, true, {}, 0},
        {"one crumb", 486400, true, true, {}, 0},
        {"two crumbs", 486401, true, true, {0x01}, 1 + 2 * 8},
        {"two crumbs, crumb hashes missing", 486401, true, false, {0x00}, 1},
        {"two parts without part hashes", 9728001, false, true, {0x00, 0x01}, 2 + 21 * 8},
        {"two parts with both", 9728001, true, true, {0x01}, 1 + 32 + 1 + 21 * 8},
        {"two parts with neither", 9728001, false, false, {0x00, 0x00}, 2},
    };
    for (const auto& c : table) {
        std::unique_ptr<FileMeta> m = record("f", c.size, c.parts, c.crumbs);
        Bytes section = written([&](i4_file& f) { m->writeHashSets(f); });
        EXPECT_EQ((int)section.size(), c.total) << c.what;
        EXPECT_EQ(m->hashSetsSize(), c.total) << c.what;
        ASSERT_GE(section.size(), c.section.size()) << c.what;
        EXPECT_EQ(hex(Bytes(section.begin(), section.begin() + c.section.size())), hex(c.section))
            << c.what;

        // Each reads back to the same record.
        Bytes bytes = diskBytes(*m);
        FileMeta back;
        ByteReader r(bytes);
        ASSERT_TRUE(back.fromDisk(*r)) << c.what;
        EXPECT_EQ(hex(diskBytes(back)), hex(bytes)) << c.what;
        EXPECT_EQ(back.hasPartHashes(), m->hasPartHashes()) << c.what;
        EXPECT_EQ(back.hasCrumbHashes(), m->hasCrumbHashes()) << c.what;
    }
}

TEST_F(FileMetaTest, AlteredPartHashesAreDroppedAndTheNextRecordStillReads) {
    std::unique_ptr<FileMeta> a = record("a", 19456000);
    std::unique_ptr<FileMeta> b = record("b", 1);
    FileList list;
    list.add(a.get());
    list.add(b.get());
    Bytes bytes = written([&](i4_file& f) { EXPECT_TRUE(list.toBytes(f)); });
    list.clear();
    // The first part hash sits right after the record's tags and flag byte.
    size_t at = 5 + 21 + (a->Meta::size()) + 1;
    bytes[at] ^= 0xFF;

    FileList back;
    ByteReader r(bytes);
    ASSERT_TRUE(back.fromDisk(*r));
    ASSERT_EQ(back.getList()->count(), 2);
    FileMeta* first = (FileMeta*)back.getAt(0);
    EXPECT_FALSE(first->hasPartHashes());
    EXPECT_EQ(first->getPartHash(0), nullptr);
    EXPECT_TRUE(first->hasCrumbHashes());
    EXPECT_EQ(first->getCrumbHash(39), a->getCrumbHash(39));
    EXPECT_STREQ(back.getAt(1)->getName(), "b");
    back.deleteAll();
}

// The older layout: time, hash, u16 n, n part hashes, then the tags.
TEST_F(FileMetaTest, OlderLayoutKeepsPartHashesOnlyWhenTheyFitTheFile) {
    const struct {
        const char* what;
        uint32_t size;
        int stored;     // part hashes stored
        bool matching;  // their MD4 is the file hash
        bool kept;
    } table[] = {
        {"two parts, two matching hashes", 19456000, 2, true, true},
        {"two parts, altered hashes", 19456000, 2, false, false},
        {"two parts, three hashes whose MD4 matches", 19456000, 3, true, false},
        {"one part, one hash", 100, 1, true, false},
        {"no hashes", 19456000, 0, true, false},
    };
    for (const auto& c : table) {
        Bytes hashes = seq(c.stored * 16, 0x10);
        uint8_t fileHash[16];
        MD4::digest(hashes.data(), hashes.size(), fileHash);
        if (!c.matching) fileHash[0] ^= 1;
        FileMeta tags;
        tags.setName("old");
        tags.setFileSize(c.size);
        Bytes bytes = Bytes{0x01, 0x00, 0x00, 0x00} + Bytes(fileHash, fileHash + 16) +
                      Bytes{(uint8_t)c.stored, 0x00} + hashes +
                      written([&](i4_file& f) { tags.Meta::toBytes(f); });
        FileMeta m;
        ByteReader r(bytes);
        ASSERT_TRUE(m.fromDisk(*r)) << c.what;
        EXPECT_EQ(m.getModTime(), 1u) << c.what;
        EXPECT_STREQ(m.getName(), "old") << c.what;
        EXPECT_EQ(r->tell(), r->size()) << c.what;
        bool kept = m.partCount() >= 2 && m.hasPartHashes();
        EXPECT_EQ(kept, c.kept) << c.what;
    }
}

TEST_F(FileMetaTest, DamagedKnownFileRecordsFail) {
    std::unique_ptr<FileMeta> m = record("x", 19456000);
    Bytes good = diskBytes(*m);
    const struct {
        const char* what;
        Bytes bytes;
    } table[] = {
        {"cut in the hash sets", Bytes(good.begin(), good.end() - 5)},
        {"cut in the tags", Bytes(good.begin(), good.begin() + 30)},
        {"older layout claiming more part hashes than bytes",
         Bytes{1, 0, 0, 0} + Bytes(16, 0) + Bytes{0xFF, 0xFF, 0, 0}},
        {"empty", {}},
    };
    for (const auto& c : table) {
        FileMeta back;
        ByteReader r(c.bytes);
        EXPECT_FALSE(back.fromDisk(*r)) << c.what;
    }
}

TEST_F(FileMetaTest, PartHashLookups) {
    std::unique_ptr<FileMeta> one = record("one", 100);
    EXPECT_EQ(one->getPartHash(0), one->getFileHash());
    EXPECT_EQ(one->getPartHash(1), nullptr);
    EXPECT_EQ(one->getPartHash(-1), nullptr);
    std::unique_ptr<FileMeta> bare = record("two", 9728001, false, false);
    EXPECT_EQ(bare->getPartHash(0), nullptr);
    EXPECT_FALSE(bare->hasPartHashes());
    EXPECT_EQ(bare->getCrumbHash(0), 0u);
    std::unique_ptr<FileMeta> full = record("two", 9728001);
    ASSERT_NE(full->getPartHash(1), nullptr);
    EXPECT_EQ(full->getPartHash(1)[0], 0x50);
    EXPECT_EQ(full->getPartHash(2), nullptr);
    EXPECT_EQ(full->getCrumbHash(0), 0x8786858483828180ull);
    EXPECT_EQ(full->getCrumbHash(21), 0u);
    EXPECT_FALSE(full->setPartHashes(seq(48, 0).data(), 3)) << "count must be the part count";
}

TEST_F(FileMetaTest, CopyTakesTagsPathTimeHashAndArrays) {
    std::unique_ptr<FileMeta> src = record("src", 19456000);
    src->setPath("/share/src");
    FileMeta copy(*src);
    EXPECT_EQ(hex(diskBytes(copy)), hex(diskBytes(*src)));
    EXPECT_STREQ(copy.getPath(), "/share/src");
    EXPECT_NE(copy.getPartHash(0), src->getPartHash(0));
    EXPECT_FALSE(copy.copyFrom(nullptr));
    EXPECT_TRUE(copy.copyFrom(&copy));
    EXPECT_TRUE(copy.hasPartHashes());
}

TEST_F(FileMetaTest, SameFileAndTransientTags) {
    std::unique_ptr<FileMeta> m = record("song.mp3", 1234);
    EXPECT_FALSE(m->isSameFile(1234, 0x04030201, ""));
    m->setPath("/S/song.mp3");
    EXPECT_TRUE(m->isSameFile(1234, 0x04030201, "/S/song.mp3"));
    // The same name in another directory is another file.
    EXPECT_FALSE(m->isSameFile(1234, 0x04030201, "/T/song.mp3"));
    EXPECT_FALSE(m->isSameFile(1234, 0x04030201, "/S/Song.mp3"));
    EXPECT_FALSE(m->isSameFile(1235, 0x04030201, "/S/song.mp3"));
    EXPECT_FALSE(m->isSameFile(1234, 0, "/S/song.mp3"));

    int32_t prio = 3;
    float sent = 2.5f;
    m->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &prio);
    m->setTag("# Sent", &sent, MetaTag::FLOAT);
    m->setTag("Last Seen Complete", &prio, MetaTag::INT);
    m->setSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY, &prio);
    m->stripTransientTags();
    EXPECT_EQ(m->getTags()->count(), 3);
    EXPECT_EQ(m->getSpecialInt(SpecialTagInfo::DOWNLOAD_PRIORITY), 3);
}

// The local path goes to the disk form as the string tag "Path" and comes back as the path,
// never as a tag; the wire form and the record in memory carry no such tag.
TEST_F(FileMetaTest, TheDiskFormKeepsTheLocalPath) {
    std::unique_ptr<FileMeta> m = record("song.mp3", 1234);
    Bytes without = diskBytes(*m);
    m->setPath("/S/song.mp3");
    Bytes with = diskBytes(*m);
    EXPECT_EQ(m->getTags()->count(), 2);
    EXPECT_EQ(m->findTag(FileMeta::LOCAL_PATH_TAG), nullptr);
    Bytes wire = written([&](i4_file& f) { EXPECT_TRUE(m->toNetwork(f)); });
    EXPECT_EQ(std::string(wire.begin(), wire.end()).find("/S/song.mp3"), std::string::npos);

    FileMeta back;
    ByteReader r(with);
    ASSERT_TRUE(back.fromDisk(*r));
    EXPECT_STREQ(back.getPath(), "/S/song.mp3");
    EXPECT_EQ(back.findTag(FileMeta::LOCAL_PATH_TAG), nullptr);
    EXPECT_EQ(hex(diskBytes(back)), hex(with));

    FileMeta none;
    ByteReader r2(without);
    ASSERT_TRUE(none.fromDisk(*r2));
    EXPECT_STREQ(none.getPath(), "");
}

TEST_F(FileMetaTest, FileListLookups) {
    std::unique_ptr<FileMeta> a = record("a", 10), b = record("b", 20), dupe = record("a", 10);
    FileList list;
    EXPECT_FALSE(list.addUnique(a.get()));
    EXPECT_FALSE(list.addUnique(b.get()));
    EXPECT_TRUE(list.addUnique(dupe.get()));
    EXPECT_EQ(list.getList()->count(), 2);
    EXPECT_EQ(list.findByHash(b->getFileHash()), b.get());
    uint8_t none[16] = {0};
    EXPECT_EQ(list.findByHash(none), nullptr);
    a->setPath("/S/a");
    b->setPath("/S/b");
    EXPECT_EQ(list.findSameFile(20, 0x04030201, "/S/b"), b.get());
    EXPECT_EQ(list.findSameFile(20, 0x04030201, "/S/a"), nullptr);
    EXPECT_EQ(list.findSameFile(20, 0x04030201, "/T/b"), nullptr);
    MetaList found;
    list.findAllByHash(a->getFileHash(), &found);
    EXPECT_EQ(found.getList()->count(), 1);
    list.clear();
    found.clear();
}

// x.findAllByHash(h, &y) beside y.removeAll(&x), with y the lower address: the
// second takes y and then x, so the first must never hold x while it waits for y,
// or the test never ends.
TEST_F(FileMetaTest, FindAllByHashTakesNoSecondLockInsideItsOwn) {
    std::unique_ptr<FileMeta> a = record("a", 10);
    FileList lists[2];
    FileList& y = lists[0];
    FileList& x = lists[1];
    x.add(a.get());
    std::atomic<int> ready(0);
    auto together = [&ready] {
        ready++;
        for (int spin = 0; spin < 1000000 && ready.load() < 2; spin++) std::this_thread::yield();
    };
    std::thread finder([&] {
        together();
        for (int i = 0; i < 100000; ++i) x.findAllByHash(a->getFileHash(), &y);
    });
    std::thread remover([&] {
        together();
        for (int i = 0; i < 100000; ++i) y.removeAll(&x);
    });
    finder.join();
    remover.join();
    for (Meta* m : LLView<Meta>(y.getList())) EXPECT_EQ(m, a.get());
    EXPECT_EQ(x.getList()->count(), 1);
    y.clear();
    x.clear();
}

TEST_F(FileMetaTest, PrintShowsPathHashAndHashSets) {
    std::unique_ptr<FileMeta> m = record("p", 486401);
    m->setPath("/x/p");
    out.lines.clear();
    m->print(true);
    std::string all = out.all();
    EXPECT_NE(all.find("Path: /x/p\n"), std::string::npos);
    char h[33];
    EXPECT_NE(all.find(std::string("Hash: ") + md4Hex(m->getFileHash(), h) + "\n"),
              std::string::npos);
    EXPECT_NE(all.find("PartHash: 0) "), std::string::npos);
    EXPECT_NE(all.find("Crumb: 1) 88898a8b8c8d8e8f\n"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(FileMetaTest, DamagedKnownFilesFromDisk) {
    const struct {
        const char* file;
        bool ok;
        int records;
        const char* lastName;
    } table[] = {
        {"known_third_record_damaged.met", false, 2, "two"},
        {"known_count_past_end.met", false, 1, "one"},
    };
    for (const auto& c : table) {
        FileList list;
        std::string path = std::string(TORNAVEL_TEST_DATA) + "/meta/" + c.file;
        EXPECT_EQ(list.load(path.c_str()), c.ok) << c.file;
        ASSERT_EQ(list.getList()->count(), c.records) << c.file;
        if (c.lastName) {
            EXPECT_STREQ(list.getAt(c.records - 1)->getName(), c.lastName) << c.file;
        }
        list.deleteAll();
    }
}

}  // namespace

namespace {

// Part hashes from a peer are kept when they hash to the file hash; for a size
// that is a multiple of a part, also when the file hash is the completion
// rule's (the part hashes and the digest of an empty piece).
TEST_F(FileMetaTest, PartHashesOfEitherRuleForAnExactMultiple) {
    struct Row {
        uint32_t size;
        bool completionRule;
        bool kept;
    } rows[] = {
        {2 * 9728000, false, true},
        {2 * 9728000, true, true},
        {2 * 9728000 + 1, false, true},
        {2 * 9728000 + 1, true, false},
    };
    for (const Row& r : rows) {
        FileMeta m;
        m.setFileSize(r.size);
        int parts = m.partCount();
        Bytes ph = seq(parts * 16, 0x21);
        Bytes pieces = ph;
        if (r.completionRule) {
            uint8_t empty[16];
            MD4::digest("", 0, empty);
            pieces.insert(pieces.end(), empty, empty + 16);
        }
        uint8_t h[16];
        MD4::digest(pieces.data(), pieces.size(), h);
        m.setFileHash(h);
        Bytes wire = Bytes{(uint8_t)parts, 0} + ph;
        ByteReader in(wire);
        EXPECT_EQ(r.kept, m.readPartHashesChecked(*in))
            << r.size << (r.completionRule ? " c" : " r");
        EXPECT_EQ(r.kept, m.hasPartHashes());
    }
}

}  // namespace
