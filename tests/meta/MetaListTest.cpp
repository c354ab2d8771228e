#include <atomic>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "MetaTestUtil.h"
#include "meta/Meta.h"
#include "meta/MetaList.h"
#include "meta/MetaTag.h"
#include "util/LLView.h"

namespace {

class MetaListTest : public ::testing::Test {
protected:
    void SetUp() override { initSpecialTags(); }
    CapturedOutput out;
};

// One record: special Name "a", then an int tag "k" = 1.
const Bytes recordA = {0x02, 0x00, 0x00, 0x00,                           // two tags
                       0x02, 0x01, 0x00, 0x01, 0x01, 0x00, 'a',          // Name "a"
                       0x03, 0x01, 0x00, 'k',  0x01, 0x00, 0x00, 0x00};  // k = 1

Meta* makeRecord(const char* name, int32_t k) {
    Meta* m = new Meta();
    m->setName(name);
    m->setTag("k", &k, MetaTag::INT);
    return m;
}

TEST_F(MetaListTest, RecordAndEmptyListByteForms) {
    Meta m;
    m.setName("a");
    int32_t one = 1;
    m.setTag("k", &one, MetaTag::INT);
    MetaList empty;
    const struct {
        const char* what;
        Bytes got;
        Bytes want;
    } table[] = {
        {"record, disk", written([&](i4_file& f) { EXPECT_TRUE(m.toBytes(f)); }), recordA},
        {"record, wire", written([&](i4_file& f) { EXPECT_TRUE(m.toNetwork(f)); }), recordA},
        {"empty record",
         written([](i4_file& f) {
             Meta e;
             EXPECT_TRUE(e.toBytes(f));
         }),
         {0, 0, 0, 0}},
        {"empty list, disk",
         written([&](i4_file& f) { EXPECT_TRUE(empty.toBytes(f)); }),
         {0x0E, 0, 0, 0, 0}},
        {"empty list, wire",
         written([&](i4_file& f) { EXPECT_TRUE(empty.toNetwork(f)); }),
         {0, 0, 0, 0}},
    };
    for (const auto& c : table) EXPECT_EQ(hex(c.got), hex(c.want)) << c.what;
    EXPECT_EQ(m.size(), (int)recordA.size());
    EXPECT_EQ(empty.size(), 4);
}

TEST_F(MetaListTest, ListFilesReadAsTheyShould) {
    const Bytes damaged = {0x01, 0x00, 0x00, 0x00, 0x09, 0x01, 0x00, 'a'};  // a tag of unknown type
    const struct {
        const char* what;
        Bytes bytes;
        bool ok;
        int records;
    } table[] = {
        {"no bytes", {}, false, 0},
        {"not a list file", {0x0F, 0, 0, 0, 0}, false, 0},
        {"only the mark", {0x0E}, false, 0},
        {"empty list", {0x0E, 0, 0, 0, 0}, true, 0},
        {"two records", Bytes{0x0E, 2, 0, 0, 0} + recordA + recordA, true, 2},
        {"third record damaged", Bytes{0x0E, 4, 0, 0, 0} + recordA + recordA + damaged + recordA,
         false, 2},
        {"third record cut short",
         Bytes{0x0E, 3, 0, 0, 0} + recordA + recordA + Bytes(recordA.begin(), recordA.end() - 1),
         false, 2},
        {"count past what the file could hold", Bytes{0x0E, 0xFF, 0xFF, 0xFF, 0x00} + recordA,
         false, 1},
        {"count reading negative", Bytes{0x0E, 0xFF, 0xFF, 0xFF, 0xFF} + recordA, false, 0},
        {"record tag count past the end", Bytes{0x0E, 1, 0, 0, 0} + Bytes{0xFF, 0xFF, 0x00, 0x00},
         false, 0},
    };
    for (const auto& c : table) {
        MetaList list;
        ByteReader r(c.bytes);
        EXPECT_EQ(list.fromDisk(*r), c.ok) << c.what;
        EXPECT_EQ(list.getList()->count(), c.records) << c.what;
        list.deleteAll();
    }
}

TEST_F(MetaListTest, DamagedRecordReportsWhereAndKeepsWhatCameBefore) {
    MetaList list;
    ByteReader r(Bytes{0x0E, 3, 0, 0, 0} + recordA + Bytes{0x01, 0, 0, 0, 0x09, 0x01, 0x00, 'a'} +
                 recordA);
    out.lines.clear();
    EXPECT_FALSE(list.fromDisk(*r));
    EXPECT_EQ(list.getList()->count(), 1);
    EXPECT_EQ(out.all(),
              "debug:ERROR: unknown type MetaTag::makeTag() 9\n"
              "debug:error in tag from bytes\n"
              "debug:ERROR: Meta::fromDisk()\n"
              "debug:meta #:1, n=3\n"
              "debug:ERROR: MetaList::fromDisk()\n");
    list.deleteAll();
}

TEST_F(MetaListTest, WireListsHaveNoMark) {
    MetaList list;
    ByteReader r(Bytes{1, 0, 0, 0} + recordA);
    EXPECT_TRUE(list.fromNetwork(*r));
    ASSERT_EQ(list.getList()->count(), 1);
    EXPECT_STREQ(list.getAt(0)->getName(), "a");
    EXPECT_EQ(hex(written([&](i4_file& f) { list.toNetwork(f); })),
              hex(Bytes{1, 0, 0, 0} + recordA));
    list.deleteAll();
}

TEST_F(MetaListTest, SaveAndLoadByPath) {
    char dir[] = "/tmp/metalistXXXXXX";
    ASSERT_TRUE(mkdtemp(dir));
    std::string path = std::string(dir) + "/list.met";
    MetaList list;
    list.add(makeRecord("one", 1));
    list.add(makeRecord("two", 2));
    for (bool safe : {true, false}) {
        ASSERT_TRUE(list.save(path.c_str(), safe)) << safe;
        MetaList back;
        EXPECT_TRUE(back.load(path.c_str()));
        EXPECT_TRUE(back.load(path.c_str())) << "loading twice appends";
        ASSERT_EQ(back.getList()->count(), 4);
        EXPECT_STREQ(back.getAt(3)->getName(), "two");
        back.deleteAll();
    }
    EXPECT_NE(access((path + ".bak").c_str(), F_OK), 0) << "no backup left behind";
    MetaList none;
    EXPECT_FALSE(none.load((std::string(dir) + "/missing.met").c_str()));
    list.deleteAll();
    unlink(path.c_str());
    rmdir(dir);
}

TEST_F(MetaListTest, TagOrderAndLookups) {
    Meta m;
    int32_t a = 1, b = 2, a2 = 3, a3 = 4;
    m.setTag("A", &a, MetaTag::INT);
    m.setTag("B", &b, MetaTag::INT);
    m.setTag("A", &a2, MetaTag::INT);
    m.addTag(MetaTag::makeTag(MetaTag::INT, "A", &a3));
    const char* order[] = {"A", "B", "A"};
    int i = 0;
    for (MetaTag* t : LLView<MetaTag>(m.getTags())) EXPECT_STREQ(t->getStoredName(), order[i++]);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(m.getTagInt("A"), 3);
    m.removeTag("A");
    EXPECT_EQ(m.getTagInt("A"), 4);
    EXPECT_EQ(m.getTagInt("missing"), 0);
    char buf[8];
    EXPECT_STREQ(m.getTagText("missing", buf, sizeof buf), "");
    EXPECT_TRUE(m.addTagIfMissing(MetaTag::STRING, "S"));
    EXPECT_FALSE(m.addTagIfMissing(MetaTag::STRING, "S"));
}

TEST_F(MetaListTest, GetNameAddsAPlaceholder) {
    Meta m;
    EXPECT_STREQ(m.getName(), "????");
    EXPECT_NE(m.findTag("\x01"), nullptr);
}

// A record from a file may carry a special tag of another kind than the table's.
TEST_F(MetaListTest, SpecialTagsOfTheWrongKindAreNeverReadAsAnotherKind) {
    Meta m;
    ByteReader r(Bytes{2, 0, 0, 0, 0x03, 0x01, 0x00, 0x01, 0x41, 0x41, 0x41,
                       0x41,                                       // Name as an int
                       0x02, 0x01, 0x00, 0x02, 0x01, 0x00, 'z'});  // Size as a string
    ASSERT_TRUE(m.fromDisk(*r));
    EXPECT_EQ(m.getFileSize(), 0u);
    m.setFileSize(77);
    EXPECT_EQ(m.getFileSize(), 77u);
    EXPECT_STREQ(m.getName(), "????");
    EXPECT_EQ(m.getTags()->count(), 2) << "replaced in place, not added";
}

TEST_F(MetaListTest, CopyFromAndRemoveAllHandleTheListItself) {
    MetaList list;
    Meta* one = makeRecord("one", 1);
    list.add(one);
    list.copyFrom(&list);
    ASSERT_EQ(list.getList()->count(), 1);
    EXPECT_EQ(list.getAt(0), one);

    MetaList copy;
    copy.copyFrom(&list);
    ASSERT_EQ(copy.getList()->count(), 1);
    EXPECT_NE(copy.getAt(0), one);
    EXPECT_STREQ(copy.getAt(0)->getName(), "one");
    copy.deleteAll();

    list.removeAll(&list);
    EXPECT_EQ(list.getList()->count(), 0);
    delete one;
}

// x.copyFrom(y) and x.removeAll(y) at once on two threads: taking "this, then
// other" in one and "other, then this" in the other deadlocks, and the test never ends.
TEST_F(MetaListTest, CopyAndRemoveOnTheSamePairDoNotDeadlock) {
    MetaList x, y;
    for (int i = 0; i < 4; ++i) y.add(makeRecord("y", i));
    std::thread copier([&] {
        for (int i = 0; i < 3000; ++i) {
            x.copyFrom(&y);
            x.deleteAll();
        }
    });
    std::thread remover([&] {
        for (int i = 0; i < 3000; ++i) x.removeAll(&y);
    });
    copier.join();
    remover.join();
    EXPECT_EQ(x.getList()->count(), 0);
    EXPECT_EQ(y.getList()->count(), 4);
    y.deleteAll();
}

// appendAll walks the other list: while another thread adds to it and removes
// from it, the walk must not step on a node freed under it.
TEST_F(MetaListTest, AppendAllHoldsTheOtherListWhileWalkingIt) {
    MetaList x, y;
    Meta* kept[3];
    for (int i = 0; i < 3; ++i) y.add(kept[i] = makeRecord("kept", i));
    Meta* coming = makeRecord("coming", 9);
    std::atomic<bool> started(false);
    std::thread changer([&] {
        started = true;
        for (int i = 0; i < 100000; ++i) {
            y.add(coming);
            y.getList()->remove(coming);
        }
    });
    bool onlyKnown = true;
    for (int spin = 0; spin < 1000000 && !started; spin++) std::this_thread::yield();
    for (int i = 0; i < 100000; ++i) {
        x.appendAll(&y);
        int n = 0;
        for (Meta* m : LLView<Meta>(x.getList())) {
            onlyKnown = onlyKnown && (m == coming || (n < 3 && m == kept[n]));
            ++n;
        }
        onlyKnown = onlyKnown && (n == 3 || n == 4);
        x.clear();
    }
    changer.join();
    EXPECT_TRUE(onlyKnown);
    y.deleteAll();
    delete coming;
}

TEST_F(MetaListTest, PrintMetaListTable) {
    MetaList list;
    out.lines.clear();
    printMetaList(&list);
    EXPECT_EQ(out.all(), "None.\n");

    Meta* first = makeRecord("one", 1);
    first->addTag(MetaTag::makeTag(MetaTag::INT, nullptr, nullptr));  // no display name: no column
    first->addTag(MetaTag::makeTag(MetaTag::STRING, "\xC8", "x"));    // made ordinary: a column
    Meta* second = new Meta();
    second->setName("two");
    list.add(first);
    list.add(second);
    out.lines.clear();
    printMetaList(&list);
    EXPECT_EQ(out.all(),
              "Name\tk\t\xC8\t\n"
              "(1) one\t1\tx\t\n"
              "(2) two\t\t\t\n");
    list.deleteAll();
}

TEST_F(MetaListTest, PrintMetaListLinesGrowWithTheirFields) {
    MetaList list;
    Meta* m = new Meta();
    std::string longText(128, 'v');
    for (int i = 0; i < 300; ++i) {
        char name[16];
        snprintf(name, sizeof name, "col%03d", i);
        m->setTag(name, longText.c_str(), MetaTag::STRING);
    }
    list.add(m);
    out.lines.clear();
    printMetaList(&list);
    ASSERT_EQ(out.lines.size(), 2u);
    // 254 columns at most, each field cut to 127 bytes.
    EXPECT_EQ(out.lines[1].size(), 4 + 254 * (127 + 1) + 1);
    list.deleteAll();
}

// The columns come from one record; rows of other records follow them, so a
// tag a row lacks is an empty field and one the header lacks is not shown.
TEST_F(MetaListTest, TagRowsFollowTheColumnsOfTheHeaderRecord) {
    Meta server;
    server.setName("big");
    int32_t users = 7;
    server.setTag("users", &users, MetaTag::INT);
    TagColumns columns = {"stale"};
    out.lines.clear();
    printTagHeader(&server, columns);
    EXPECT_EQ(columns, (TagColumns{"\x01", "users"}));

    Meta other;
    other.setTag("extra", "x", MetaTag::STRING);
    other.setTag("users", "many", MetaTag::STRING);
    printTagRow(&other, columns, 4);
    printTagRow(&server, columns, 0);
    EXPECT_EQ(out.all(), "Name\tusers\t\n(5) \tmany\t\n(1) big\t7\t\n");
}

// A name from the network is one cell: its line ends, tabs and escapes make no rows,
// columns or terminal commands.
TEST_F(MetaListTest, NamesAndValuesShowTheirControlBytesMasked) {
    Meta m;
    m.setName("a\n(2) forged\tb\x1b[2J");
    m.setTag("x\ty", "v\r\n", MetaTag::STRING);
    TagColumns columns;
    out.lines.clear();
    printTagHeader(&m, columns);
    printTagRow(&m, columns, 0);
    printMetaInfo(&m);
    EXPECT_EQ(out.all(),
              "Name\tx?y\t\n(1) a?(2) forged?b?[2J\tv??\t\nMeta Information:\n"
              "Name:\t\ta?(2) forged?b?[2J\nx?y:\t\tv??\n");
}

TEST_F(MetaListTest, MetaInfoShowsEveryTagByItsDisplayName) {
    out.lines.clear();
    printMetaInfo(nullptr);
    EXPECT_EQ(out.all(), "None.\n");

    Meta m;
    m.setName("song.mp3");
    m.setFileSize(1234);
    std::string longValue(300, 'v');
    m.setTag("comment", longValue.c_str(), MetaTag::STRING);
    m.addTag(MetaTag::makeTag(MetaTag::INT, nullptr, nullptr));
    out.lines.clear();
    printMetaInfo(&m);
    // Stored texts keep 128 bytes; a field shows 127 of them.
    EXPECT_EQ(out.all(), "Meta Information:\nName:\t\tsong.mp3\nSize:\t\t1234\ncomment:\t\t" +
                             std::string(127, 'v') + "\n:\t\t0\n");
}

TEST_F(MetaListTest, DumpShowsUnknownSpecialTagsWithoutTrouble) {
    Meta m;
    ByteReader r(Bytes{1, 0, 0, 0, 0x03, 0x01, 0x00, 0xC8, 5, 0, 0, 0});
    ASSERT_TRUE(m.fromDisk(*r));
    out.lines.clear();
    m.dump();
    EXPECT_EQ(out.all(), ": 5\n");
}

}  // namespace
