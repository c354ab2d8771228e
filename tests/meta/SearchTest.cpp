#include <gtest/gtest.h>
#include <string>

#include "MetaTestUtil.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/Meta.h"
#include "meta/MetaTag.h"
#include "meta/SN_Compound.h"
#include "meta/SN_FindStr.h"
#include "meta/SN_IntTagCompare.h"
#include "meta/SN_MatchAll.h"
#include "meta/SN_StrTagCompare.h"
#include "meta/Search.h"

namespace {

class SearchTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        song.setName("Hello World.MP3");
        song.setTag("Artist", "The Band", MetaTag::STRING);
        int32_t rate = 128;
        song.setTag("bitrate", &rate, MetaTag::INT);
        song.setTag("length", "128", MetaTag::STRING);
    }
    CapturedOutput out;
    Meta song;
};

Bytes wireOf(SearchNode* node) {
    return written([&](i4_file& f) { EXPECT_TRUE(node->toNetwork(f)); });
}

std::string textOf(SearchNode* node) {
    i4_string s("");
    node->toText(s);
    return s.c_str();
}

Bytes text16(const std::string& s) {
    Bytes b = {(uint8_t)(s.size() & 0xFF), (uint8_t)(s.size() >> 8)};
    for (char c : s) b.push_back((uint8_t)c);
    return b;
}

// n compounds nested down the left side, each with a match-all on the right.
Bytes leftNested(int n) {
    Bytes b;
    for (int i = 0; i < n; i++) {
        b.push_back(0x00);
        b.push_back(0x01);
    }
    b.insert(b.end(), (size_t)n + 1, 0x04);
    return b;
}

TEST_F(SearchTest, AddNodePutsTheOldTreeOnTheLeft) {
    Search s;
    s.addNode(new SN_FindStr("a"), SN_Compound::AND);
    EXPECT_EQ(textOf(s.getRoot()), "a");
    s.addNode(new SN_FindStr("b"), SN_Compound::OR);
    s.addNode(new SN_FindStr("c"), SN_Compound::AND);
    EXPECT_EQ(textOf(s.getRoot()), " (  ( a | b )  & c ) ");
    i4_string shown("");
    s.toString(shown);
    EXPECT_STREQ(shown.c_str(), "search(  (  ( a | b )  & c )  )");
}

TEST_F(SearchTest, WireFormsAndSizes) {
    SN_Compound compound(SN_Compound::AND, new SN_FindStr("ab"), new SN_MatchAll());
    SN_FindStr find("Hello");
    SN_StrTagCompare strTag("Artist", "band");
    SN_IntTagCompare intTag("bitrate", -2, SN_IntTagCompare::GREATER_EQUAL);
    const struct {
        const char* what;
        SearchNode* node;
        Bytes want;
    } table[] = {
        {"AND of a find and match-all", &compound, {0x00, 0x00, 0x01, 0x02, 0x00, 'a', 'b', 0x04}},
        {"find, lowered when made", &find, Bytes{0x01} + text16("hello")},
        {"text tag: value, then name", &strTag, Bytes{0x02} + text16("band") + text16("Artist")},
        {"int tag: value, comparison, name", &intTag,
         Bytes{0x03, 0xFE, 0xFF, 0xFF, 0xFF, 0x03} + text16("bitrate")},
    };
    for (const auto& c : table) {
        Bytes got = wireOf(c.node);
        EXPECT_EQ(hex(got), hex(c.want)) << c.what;
        EXPECT_EQ(c.node->size(), (int)c.want.size()) << c.what;
        ByteReader in(c.want);
        SearchNode* back = SearchNode::readNode(*in);
        ASSERT_NE(back, nullptr) << c.what;
        EXPECT_EQ(hex(wireOf(back)), hex(c.want)) << c.what;
        EXPECT_EQ(in->tell(), (int64_t)c.want.size()) << c.what;
        delete back;
    }
}

TEST_F(SearchTest, ReadingBadBytesGivesNoNodeAndNoMessage) {
    const Bytes good = {0x00, 0x00, 0x01, 0x02, 0x00, 'a', 'b', 0x04};
    struct Case {
        const char* what;
        Bytes bytes;
    };
    std::vector<Case> table = {
        {"kind 5", {0x05}},
        {"kind 255", {0xFF}},
        {"nothing", {}},
        {"unknown kind below a compound", {0x00, 0x01, 0x04, 0x07}},
        {"text length 0xFFFF", {0x01, 0xFF, 0xFF, 'a'}},
        {"text length past the end", {0x01, 0x10, 0x00, 'a', 'b'}},
        {"tag name cut short", Bytes{0x02} + text16("v") + Bytes{0x05, 0x00, 'a'}},
        {"int value cut short", {0x03, 0x01, 0x02}},
    };
    for (size_t n = 0; n < good.size(); n++)
        table.push_back({"prefix of a good compound", Bytes(good.begin(), good.begin() + n)});
    for (const Case& c : table) {
        ByteReader in(c.bytes);
        EXPECT_EQ(SearchNode::readNode(*in), nullptr) << c.what << " " << hex(c.bytes);
        Search s;
        s.addNode(new SN_MatchAll(), SN_Compound::AND);
        ByteReader again(c.bytes);
        EXPECT_FALSE(s.fromNetwork(*again)) << c.what;
        EXPECT_EQ(s.getRoot(), nullptr) << c.what;
        EXPECT_EQ(s.size(), 0) << c.what;
    }
    EXPECT_EQ(out.all(), "");
}

TEST_F(SearchTest, LongTextsFromTheWireKeepTwoHundredBytesLowered) {
    std::string longText(300, 'Q');
    std::string longName(300, 'N');
    const Bytes bytes = Bytes{0x00, 0x00, 0x01} + text16(longText) + Bytes{0x02} +
                        text16(longText) + text16(longName);
    ByteReader in(bytes);
    Search s;
    ASSERT_TRUE(s.fromNetwork(*in));
    EXPECT_EQ(in->tell(), (int64_t)bytes.size());
    SN_Compound* root = static_cast<SN_Compound*>(s.getRoot());
    EXPECT_EQ(std::string(static_cast<SN_FindStr*>(root->getLeft())->getText()),
              std::string(200, 'q'));
    SN_StrTagCompare* tag = static_cast<SN_StrTagCompare*>(root->getRight());
    EXPECT_EQ(std::string(tag->getValue()), std::string(200, 'q'));
    EXPECT_EQ(std::string(tag->getTagName()), longName) << "names are read whole and unchanged";
}

TEST_F(SearchTest, NestingIsCappedWhenRead) {
    const struct {
        int compounds;
        bool ok;
    } table[] = {
        {1, true},
        {SearchNode::MAX_DEPTH - 1, true},  // leaves at the deepest level allowed
        {SearchNode::MAX_DEPTH, false},
        {100000, false},
    };
    for (const auto& c : table) {
        ByteReader in(leftNested(c.compounds));
        Search s;
        EXPECT_EQ(s.fromNetwork(*in), c.ok) << c.compounds;
        EXPECT_EQ(s.getRoot() != nullptr, c.ok) << c.compounds;
    }
    // Right-nested reads fail the same way.
    Bytes right;
    for (int i = 0; i < 100000; i++) {
        right.push_back(0x00);
        right.push_back(0x00);
        right.push_back(0x04);
    }
    right.push_back(0x04);
    ByteReader in(right);
    EXPECT_EQ(SearchNode::readNode(*in), nullptr);
}

TEST_F(SearchTest, MatchingTable) {
    Meta noText;
    int32_t rate = 128;
    noText.setTag("bitrate", &rate, MetaTag::INT);
    Meta emptyText;
    emptyText.setTag("Artist", "", MetaTag::STRING);

    auto T = [] { return new SN_MatchAll(); };
    auto F = [] { return new SN_FindStr("absent"); };
    auto cmp = [](const char* tag, int32_t v, int32_t op) {
        return new SN_IntTagCompare(tag, v, op);
    };
    const struct {
        const char* what;
        SearchNode* node;
        Meta* record;
        bool want;
    } table[] = {
        {"find: any case, mid-name", new SN_FindStr("WORLD.mp"), &song, true},
        {"find: in any text tag", new SN_FindStr("band"), &song, true},
        {"find: absent", F(), &song, false},
        {"find: empty text, non-empty tag", new SN_FindStr(""), &song, true},
        {"find: empty text, only an empty tag", new SN_FindStr(""), &emptyText, false},
        {"find: no text tags at all", new SN_FindStr(""), &noText, false},
        {"find: not in int tags", new SN_FindStr("128"), &noText, false},
        {"text tag: right name", new SN_StrTagCompare("Artist", "band"), &song, true},
        {"text tag: other name", new SN_StrTagCompare("Album", "band"), &song, false},
        {"text tag: name compared exactly", new SN_StrTagCompare("artist", "band"), &song, false},
        {"text tag: made with capitals", new SN_StrTagCompare("Artist", "Band"), &song, false},
        {"int = holds", cmp("bitrate", 128, 0), &song, true},
        {"int = fails", cmp("bitrate", 127, 0), &song, false},
        {"int > holds", cmp("bitrate", 127, 1), &song, true},
        {"int > fails", cmp("bitrate", 128, 1), &song, false},
        {"int < holds", cmp("bitrate", 129, 2), &song, true},
        {"int < fails", cmp("bitrate", 128, 2), &song, false},
        {"int >= holds", cmp("bitrate", 128, 3), &song, true},
        {"int >= fails", cmp("bitrate", 129, 3), &song, false},
        {"int <= holds", cmp("bitrate", 128, 4), &song, true},
        {"int <= fails", cmp("bitrate", 127, 4), &song, false},
        {"int != holds", cmp("bitrate", 1, 5), &song, true},
        {"int != fails", cmp("bitrate", 128, 5), &song, false},
        {"int compared signed", cmp("bitrate", -1, 1), &song, true},
        {"int against a text tag of the name", cmp("length", 128, 3), &song, false},
        {"int: other name", cmp("rate", 128, 0), &song, false},
        {"match-all", T(), &noText, true},
        {"AND tt", new SN_Compound(0, T(), T()), &song, true},
        {"AND tf", new SN_Compound(0, T(), F()), &song, false},
        {"AND ft", new SN_Compound(0, F(), T()), &song, false},
        {"OR ff", new SN_Compound(1, F(), F()), &song, false},
        {"OR ft", new SN_Compound(1, F(), T()), &song, true},
        {"OR tf", new SN_Compound(1, T(), F()), &song, true},
        {"AND NOT tf", new SN_Compound(2, T(), F()), &song, true},
        {"AND NOT tt", new SN_Compound(2, T(), T()), &song, false},
        {"AND NOT ft", new SN_Compound(2, F(), T()), &song, false},
        {"XOR tt", new SN_Compound(3, T(), T()), &song, false},
        {"XOR tf", new SN_Compound(3, T(), F()), &song, true},
        {"XOR ft", new SN_Compound(3, F(), T()), &song, true},
        {"XOR ff", new SN_Compound(3, F(), F()), &song, false},
        {"NOT AND ft", new SN_Compound(4, F(), T()), &song, true},
        {"NOT AND tt", new SN_Compound(4, T(), T()), &song, false},
        {"NOT AND ff", new SN_Compound(4, F(), F()), &song, false},
        {"nested",
         new SN_Compound(0, new SN_Compound(1, F(), cmp("bitrate", 100, 1)),
                         new SN_FindStr("hello")),
         &song, true},
    };
    for (const auto& c : table) {
        EXPECT_EQ(c.node->matches(c.record), c.want) << c.what;
        delete c.node;
    }
    EXPECT_EQ(out.all(), "");
}

TEST_F(SearchTest, RightSideIsEvaluatedOnlyWhenNeeded) {
    // The probe announces itself: its comparison is unknown, which is printed
    // each time it is evaluated against the record.
    auto probe = [] { return new SN_IntTagCompare("bitrate", 0, 9); };
    const struct {
        int op;
        bool left;
        bool rightEvaluated;
        bool want;
    } table[] = {
        {0, false, false, false}, {0, true, true, false},   {1, true, false, true},
        {1, false, true, false},  {2, false, false, false}, {2, true, true, true},
        {3, true, true, true},    {3, false, true, false},  {4, true, false, false},
        {4, false, true, false},
    };
    for (const auto& c : table) {
        CapturedOutput seen;
        SearchNode* left = c.left ? (SearchNode*)new SN_MatchAll() : new SN_FindStr("absent");
        SN_Compound node(c.op, left, probe());
        EXPECT_EQ(node.matches(&song), c.want) << c.op << " " << c.left;
        EXPECT_EQ(seen.all(), c.rightEvaluated ? "Unknown Operation in SN_IntTagCompare" : "")
            << c.op << " " << c.left;
    }
    CapturedOutput seen;
    SN_Compound unknown(7, new SN_MatchAll(), new SN_MatchAll());
    EXPECT_FALSE(unknown.matches(&song));
    EXPECT_EQ(seen.all(), "Unknown Operation in Search");
}

TEST_F(SearchTest, CaseOfValuesMadeHereAndReadFromTheWire) {
    Meta audio;
    audio.setTag("Type", "Audio", MetaTag::STRING);
    SN_StrTagCompare made("Type", "Audio");
    EXPECT_FALSE(made.matches(&audio));
    Bytes wire = wireOf(&made);
    ByteReader in(wire);
    SearchNode* read = SearchNode::readNode(*in);
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->matches(&audio));
    delete read;

    const Bytes capitals = Bytes{0x01} + text16("HELLO");
    ByteReader in2(capitals);
    read = SearchNode::readNode(*in2);
    ASSERT_NE(read, nullptr);
    EXPECT_STREQ(static_cast<SN_FindStr*>(read)->getText(), "hello");
    EXPECT_TRUE(read->matches(&song));
    delete read;
}

TEST_F(SearchTest, TextFormsAndWeights) {
    const struct {
        SearchNode* node;
        const char* text;
        int weight;
    } table[] = {
        {new SN_MatchAll(), "*", 0},
        {new SN_FindStr("Abc"), "abc", 10},
        {new SN_StrTagCompare("Artist", "x"), "Artist=x", 3},
        {new SN_IntTagCompare("bitrate", -5, 4), "bitrate<=-5", 1},
        {new SN_IntTagCompare("bitrate", 5, 6), "bitrateER5", 1},
        {new SN_Compound(2, new SN_FindStr("a"), new SN_MatchAll()), " ( a ! * ) ", 10},
        {new SN_Compound(3, new SN_FindStr("a"), new SN_MatchAll()), " ( a x * ) ", 10},
        {new SN_Compound(4, new SN_FindStr("a"), new SN_IntTagCompare("n", 1, 0)), " ( a   n=1 ) ",
         11},
    };
    for (const auto& c : table) {
        EXPECT_EQ(textOf(c.node), c.text);
        EXPECT_EQ(c.node->weight(), c.weight) << c.text;
        delete c.node;
    }
}

TEST_F(SearchTest, CloneIsDeepAndSetValueChangesOnlyItsNode) {
    SN_Compound original(
        1, new SN_FindStr("a"),
        new SN_Compound(0, new SN_StrTagCompare("t", "v"), new SN_IntTagCompare("n", 1, 0)));
    SearchNode* copy = original.clone();
    EXPECT_EQ(hex(wireOf(copy)), hex(wireOf(&original)));
    SN_Compound* c = static_cast<SN_Compound*>(copy);
    c->getLeft()->setValue("New");
    int32_t two = 2;
    static_cast<SN_Compound*>(c->getRight())->getRight()->setValue(&two);
    static_cast<SN_Compound*>(c->getRight())->getLeft()->setValue("w");
    EXPECT_EQ(textOf(copy), " ( New |  ( t=w & n=2 )  ) ");
    EXPECT_EQ(textOf(&original), " ( a |  ( t=v & n=1 )  ) ");
    delete copy;
}

TEST_F(SearchTest, WritingACompoundWithoutAChildFails) {
    SN_Compound missing(0, new SN_FindStr("a"), nullptr);
    Bytes got = written([&](i4_file& f) { EXPECT_FALSE(missing.toNetwork(f)); });
    EXPECT_EQ(hex(got), "");
    Search empty;
    got = written([&](i4_file& f) { EXPECT_FALSE(empty.toNetwork(f)); });
    EXPECT_EQ(hex(got), "");
    EXPECT_TRUE(empty.matches(&song)) << "a search without a tree matches all";
}

TEST_F(SearchTest, DeepLocalTreesAreWalkedWithoutRecursion) {
    // A chain as long as a big filter list's: every walk must keep to the heap.
    const int words = 200000;
    Search s;
    for (int i = 0; i < words; i++)
        s.addNode(new SN_FindStr(i == words - 1 ? "band" : "zz"), SN_Compound::OR);
    EXPECT_TRUE(s.matches(&song));
    Meta other;
    other.setName("nothing here");
    EXPECT_FALSE(s.matches(&other));
    EXPECT_EQ(s.size(), (words - 1) * 2 + (words - 1) * 5 + 7);
    EXPECT_EQ(s.getRoot()->weight(), words * 10);
    SearchNode* copy = s.getRoot()->clone();
    EXPECT_TRUE(copy->matches(&song));
    delete copy;
    Bytes wire = written([&](i4_file& f) { EXPECT_TRUE(s.toNetwork(f)); });
    EXPECT_EQ((int)wire.size(), s.size());
    i4_string text("");
    s.getRoot()->toText(text);
    EXPECT_EQ(text.length(), (words - 1) * 9 + (words - 1) * 2 + 4);
    s.clear();
    EXPECT_EQ(s.getRoot(), nullptr);
}

TEST_F(SearchTest, ExpandTextTakesTheFirstWord) {
    Search s;
    s.addNode(new SN_FindStr("hello  big world"), SN_Compound::AND);
    EXPECT_STREQ(s.expandText().c_str(), "hello");
    EXPECT_EQ(textOf(s.getRoot()), " ( big & world ) ");

    Search one;
    one.addNode(new SN_FindStr("only"), SN_Compound::AND);
    EXPECT_STREQ(one.expandText().c_str(), "only");
    ASSERT_NE(one.getRoot(), nullptr);
    EXPECT_EQ(one.getRoot()->getKind(), SearchNode::MATCH_ALL);
}

TEST_F(SearchTest, FileListSelectsWhatTheSearchMatches) {
    FileList list;
    const char* names[] = {"abc", "bcd", "cde", "Bxx"};
    std::vector<FileMeta*> records;
    for (const char* n : names) {
        records.push_back(new FileMeta());
        records.back()->setName(n);
        list.add(records.back());
    }
    Search empty;
    Search findB;
    findB.addNode(new SN_FindStr("b"), SN_Compound::AND);
    const struct {
        const char* what;
        Search* search;
        int max;
        std::string want;
    } table[] = {
        {"no search", nullptr, 0, "abc bcd cde Bxx "},
        {"a search without a tree", &empty, 0, "abc bcd cde Bxx "},
        {"matching ones", &findB, 0, "abc bcd Bxx "},
        {"at most two", &findB, 2, "abc bcd "},
        {"at most one of all", nullptr, 1, "abc "},
    };
    for (const auto& c : table) {
        FileList target;
        list.select(c.search, &target, c.max);
        std::string got;
        for (int i = 0; Meta* m = target.getAt(i); i++) got += std::string(m->getName()) + " ";
        EXPECT_EQ(got, c.want) << c.what;
        EXPECT_EQ(list.getList()->count(), 4) << c.what;
    }
    list.select(&findB, &list, 0);
    EXPECT_EQ(list.getList()->count(), 7)
        << "selecting into the list itself appends the shared records";
    list.getList()->clear();
    for (FileMeta* m : records) delete m;
}

}  // namespace
