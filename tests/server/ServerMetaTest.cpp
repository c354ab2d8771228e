#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "i4min/TempDir.h"
#include "i4min/file/i4_ram_file_class.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "server/ExServer.h"
#include "server/ExServerList.h"
#include "server/ServerMeta.h"
#include "support/ByteCompare.h"

using namespace servertest;

namespace {

std::string tagRaw(uint8_t type, const std::string& name, const std::string& value) {
    return std::string(1, (char)type) + text(name) + value;
}

// One record of every kind a server.met may carry, in the order a read keeps.
std::string fullRecord() {
    return le32(0x0100000A) + le16(4661) +
           tagList({tagString(special(1), "Alpha"), tagString(special(11), "first server"),
                    tagInt(special(12), 0), tagInt("users", 0), tagInt("files", 0),
                    tagInt(special(13), 2), tagInt(special(14), 2), tagString("password", "pw"),
                    tagRaw(1, "h", std::string(16, '\x5a')),
                    tagRaw(4, "rating", std::string("\x00\x00\xc0\x3f", 4)), tagRaw(5, "b", "\x01"),
                    tagRaw(6, "bits", le16(9) + "\xff\x01"), tagRaw(7, "blob", le32(3) + "xyz"),
                    tagRaw(8, "big", le32(1) + le32(2))});
}

// A preference the client never sets, as a damaged or foreign file may hold it.
std::string oddPreferenceRecord() {
    return le32(0x0200000A) + le16(4242) +
           tagList({tagString(special(1), "Beta"), tagInt(special(12), 0), tagInt("users", 0),
                    tagInt("files", 0), tagInt(special(13), 0), tagInt(special(14), 1000)});
}

std::string bareRecord(uint32_t ip) {
    return le32(ip) + le16(80) +
           tagList({tagInt(special(12), 0), tagInt("users", 0), tagInt("files", 0),
                    tagInt(special(13), 0)});
}

std::string listFile(const std::vector<std::string>& records) {
    std::string s = std::string(1, '\x0e') + le32((uint32_t)records.size());
    for (const std::string& r : records) s += r;
    return s;
}

class ServerMetaTest : public ::testing::Test {
protected:
    ServerMetaTest() { initSpecialTags(); }
    ~ServerMetaTest() override { list.deleteAll(); }

    ExServer* at(int i) { return static_cast<ExServer*>(list.getAt(i)); }

    TempDir dir;
    ExServerList list;
};

TEST_F(ServerMetaTest, PriorityFollowsPreferenceAndPing) {
    const struct {
        int32_t pref;
        int32_t ping;
        int32_t priority;
    } table[] = {
        {-2, 1, 0},        {0, 1, 0},        {2, 1, 0},        {1000, 1, 0},
        {-2, 50, 1099950}, {0, 50, 2099950}, {2, 50, 6099950}, {1000, 50, 2099950},
    };
    for (const auto& c : table) {
        ServerMeta s;
        s.setPreference(c.pref);
        s.setPing(c.ping);
        EXPECT_EQ(s.priority, c.priority) << "pref " << c.pref << " ping " << c.ping;
    }
    ServerMeta fresh;
    EXPECT_EQ(fresh.ping, 1);
    EXPECT_EQ(fresh.priority, 0) << "a new record has never answered";
}

TEST_F(ServerMetaTest, OnlyAnAnswerClearsTheUnansweredCount) {
    ServerMeta s;
    s.history = 4;
    s.setPing(0);
    EXPECT_EQ(s.history, 4);
    s.setPing(120);
    EXPECT_EQ(s.history, 0);
    EXPECT_EQ(s.getSpecialInt(SpecialTagInfo::HISTORY), 0);
    EXPECT_EQ(s.getSpecialInt(SpecialTagInfo::PING), 120);
}

TEST_F(ServerMetaTest, ServerMetRoundTripsByteForByte) {
    const std::string original = listFile({fullRecord(), oddPreferenceRecord()});
    writeText(dir / "server.met", original);
    ASSERT_TRUE(list.load((dir / "server.met").c_str()));
    ASSERT_EQ(list.getList()->count(), 2);
    ASSERT_TRUE(list.save((dir / "again.met").c_str(), true));
    EXPECT_BYTES_EQ(original, readText(dir / "again.met"));

    EXPECT_EQ(at(0)->history, 2);
    EXPECT_EQ(at(0)->pref, 2);
    EXPECT_EQ(at(1)->pref, 0) << "a preference outside -2, 0 and 2 counts as 0";
    at(1)->setPing(50);
    EXPECT_EQ(at(1)->priority, 2099950);
}

TEST_F(ServerMetaTest, ReadingStartsTheFiguresAfreshButKeepsHistoryAndPreference) {
    std::string record = le32(0x0300000A) + le16(4661) +
                         tagList({tagInt(special(12), 77), tagInt("users", 5), tagInt("files", 6),
                                  tagInt(special(13), 3), tagInt(special(14), 2)});
    writeText(dir / "server.met", listFile({record}));
    ASSERT_TRUE(list.load((dir / "server.met").c_str()));
    ExServer* s = at(0);
    EXPECT_EQ(s->history, 3);
    EXPECT_EQ(s->pref, 2);
    EXPECT_EQ(s->ping, 1);
    EXPECT_EQ(s->priority, 0);
    EXPECT_EQ(s->getSpecialInt(SpecialTagInfo::PING), 0);
    EXPECT_EQ(s->getTagInt("users"), 0);
    EXPECT_EQ(s->getTagInt("files"), 0);
}

TEST_F(ServerMetaTest, SavingAddsTheHistoryTag) {
    std::string record = le32(0x0300000A) + le16(4661) + tagList({tagString(special(1), "Gamma")});
    writeText(dir / "server.met", listFile({record}));
    ASSERT_TRUE(list.load((dir / "server.met").c_str()));
    at(0)->history = 4;
    ASSERT_TRUE(list.save((dir / "again.met").c_str(), true));
    ExServerList back;
    ASSERT_TRUE(back.load((dir / "again.met").c_str()));
    ExServer* s = static_cast<ExServer*>(back.getAt(0));
    EXPECT_EQ(s->history, 4);
    std::string saved = readText(dir / "again.met");
    EXPECT_NE(saved.find(tagInt(special(13), 4)), std::string::npos);
    back.deleteAll();
}

TEST_F(ServerMetaTest, TruncatedFilesKeepEveryWholeRecordBeforeTheCut) {
    const std::vector<std::string> records = {fullRecord(), bareRecord(0x0400000A),
                                              oddPreferenceRecord()};
    const std::string whole = listFile(records);
    std::vector<size_t> ends;
    size_t at = 5;
    for (const std::string& r : records) ends.push_back(at += r.size());
    for (size_t cut = 0; cut <= whole.size(); ++cut) {
        ExServerList part;
        i4_ram_file_class f((void*)whole.data(), (int32_t)cut, 0);
        bool ok = part.fromDisk(f);
        int complete = 0;
        for (size_t e : ends) complete += e <= cut;
        EXPECT_EQ(part.getList()->count(), complete) << "cut at " << cut;
        EXPECT_EQ(ok, cut == whole.size()) << "cut at " << cut;
        part.deleteAll();
    }
}

TEST_F(ServerMetaTest, DamagedFilesKeepTheRecordsBeforeTheDamage) {
    const std::string badTag = le32(0x0500000A) + le16(1) + le32(1) + tagRaw(9, "x", "");
    const std::string shortTags = le32(0x0500000A) + le16(1) + le32(0x7FFFFFFF);
    const struct {
        const char* what;
        std::string bytes;
        int kept;
    } table[] = {
        {"unknown tag kind in the second record", listFile({fullRecord(), badTag, fullRecord()}),
         1},
        {"tag count past the end", listFile({bareRecord(1), shortTags}), 1},
        {"record count past the end", std::string(1, '\x0e') + le32(0xFFFFFF) + bareRecord(1), 1},
        {"not a list file", std::string(1, '\x0f') + le32(1) + bareRecord(1), 0},
    };
    for (const auto& c : table) {
        writeText(dir / "server.met", c.bytes);
        ExServerList damaged;
        EXPECT_FALSE(damaged.load((dir / "server.met").c_str())) << c.what;
        EXPECT_EQ(damaged.getList()->count(), c.kept) << c.what;
        damaged.deleteAll();
    }
}

TEST_F(ServerMetaTest, WireFormSkipsItsFirstSixteenBytes) {
    std::string wire = std::string(16, '\x77') + le32(0x0600000A) + le16(4661) +
                       tagList({tagString(special(1), "Delta"), tagInt(special(14), -2)});
    i4_ram_file_class in((void*)wire.data(), (int32_t)wire.size(), 0);
    ServerMeta s;
    ASSERT_TRUE(s.fromNetwork(in));
    EXPECT_EQ(s.ip, 0x0600000Au);
    EXPECT_EQ(s.port, 4661);
    EXPECT_EQ(s.pref, -2);
    i4_string name;
    EXPECT_STREQ(s.displayName(name), "Delta");
    EXPECT_EQ(s.size(), s.Meta::size() + 22);

    ServerMeta unnamed(0x0600000A, 4661);
    EXPECT_STREQ(unnamed.displayName(name), "10.0.0.6");
}

TEST_F(ServerMetaTest, AddIfAbsentLeavesAListedAddressAlone) {
    ServerMeta* first = new ServerMeta(0x0700000A, 4661);
    EXPECT_EQ(list.addIfAbsent(first), 0);
    ServerMeta second(0x0700000A, 4661);
    EXPECT_EQ(list.addIfAbsent(&second), 1);
    EXPECT_EQ(list.getList()->count(), 1);
    EXPECT_EQ(list.getAt(0), first);
}

}  // namespace
