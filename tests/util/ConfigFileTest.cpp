#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#include "i4min/string/i4_string.h"
#include "util/ConfigFile.h"

namespace {

std::string dataPath(const char* name) {
    return std::string(TORNAVEL_TEST_DATA) + "/config/" + name;
}

std::string found(ConfigFile& c, const char* section, const char* key) {
    const char* v = c.find(section, key);
    return v ? v : "(none)";
}

TEST(ConfigFile, ParsingTable) {
    ConfigFile c;
    ASSERT_EQ(c.load(dataPath("sections.ini").c_str()), 1);
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } cases[] = {
        {"", "a", "1"},               // lines before any header
        {"", "; comment", "(none)"},  // comments are not entries
        {"net", "PORT", "4662"},      // names ignore case; the first [Net] wins
        {"Net", "x ", " 5"},          // blanks are kept on both sides
        {"Net", "x", "(none)"},
        {"Net", "stray", "yes"},  // "[bad" is no header
        {"bad", "stray", "(none)"},
        {"Flags", "on", "TRUE"},  // CR LF line ends
        {"list[2]", "name[3]", "third"},
        {"[odd]]", "k", "v=w"},  // the last ']' ends the name, the first '=' the key
        {"[odd]]", "no equals sign", "(none)"},
        {"[odd]]", "", ""},  // the anchor answers an empty key first
        {"missing", "a", "(none)"},
        {"", "missing", "(none)"},
    };
    for (const auto& t : cases)
        EXPECT_EQ(found(c, t.section, t.key), t.value) << "[" << t.section << "] " << t.key;
}

TEST(ConfigFile, TypedGetters) {
    ConfigFile c;
    ASSERT_EQ(c.load(dataPath("sections.ini").c_str()), 1);
    i4_string s("unchanged");
    EXPECT_EQ(c.getString("NET", "port", s), 1);
    EXPECT_STREQ(s.c_str(), "4662");
    s.assign("unchanged");
    EXPECT_EQ(c.getString("NET", "nope", s), 0);
    EXPECT_STREQ(s.c_str(), "unchanged");

    const struct {
        const char* key;
        int result;
        int value;
    } ints[] = {{"count", 1, -42}, {"huge", 1, INT_MAX}, {"on", 1, 0}, {"nope", 0, 77}};
    for (const auto& t : ints) {
        int n = 77;
        EXPECT_EQ(c.getInt("flags", t.key, n), t.result) << t.key;
        EXPECT_EQ(n, t.value) << t.key;
    }
    int port = 0;
    EXPECT_EQ(c.getInt("Net", "x ", port), 1);
    EXPECT_EQ(port, 5);

    const struct {
        const char* key;
        int result;
        bool value;
    } bools[] = {{"on", 1, true}, {"off", 1, false}, {"nope", 0, true}};
    for (const auto& t : bools) {
        bool b = true;
        EXPECT_EQ(c.getBool("Flags", t.key, b), t.result) << t.key;
        EXPECT_EQ(b, t.value) << t.key;
    }
}

TEST(ConfigFile, IndexedNames) {
    ConfigFile c;
    ASSERT_EQ(c.load(dataPath("sections.ini").c_str()), 1);
    i4_string s;
    EXPECT_EQ(c.getString("list", 2, "name", 3, s), 1);
    EXPECT_STREQ(s.c_str(), "third");
    EXPECT_EQ(c.getString("list", 2, "name[3]", s), 1);
    EXPECT_EQ(c.getString("list[2]", "name", 3, s), 1);
    EXPECT_EQ(c.getString("list", 1, "name", 3, s), 0);
    int n;
    EXPECT_EQ(c.getInt("list", 2, "name", 3, n), 1);
    EXPECT_EQ(n, 0);
    bool b;
    EXPECT_EQ(c.getBool("list", 2, "name", 4, b), 0);
}

TEST(ConfigFile, LinesOverTheBufferAreDroppedWhole) {
    ConfigFile c;
    ASSERT_EQ(c.load(dataPath("long-lines.ini").c_str()), 1);
    const struct {
        const char* section;
        const char* key;
        size_t length;  // 0: absent
    } cases[] = {
        {"", "port", 4},   // "4662", not the "666" hidden in the long comment
        {"", "big", 0},    // not a value cut to fit
        {"", "after", 1},  // the long line opened no section
        {"", "fit", 1019}, {"", "crlf", 1018}, {"", "last", 0},
    };
    for (const auto& t : cases) {
        const char* v = c.find(t.section, t.key);
        if (!t.length) {
            EXPECT_EQ(v, nullptr) << t.key;
            continue;
        }
        ASSERT_NE(v, nullptr) << t.key;
        EXPECT_EQ(strlen(v), t.length) << t.key;
    }
    EXPECT_EQ(found(c, "", "port"), "4662");
}

TEST(ConfigFile, LoadReplacesAndMissingFileFails) {
    ConfigFile c;
    EXPECT_EQ(c.load(dataPath("no-such-file.ini").c_str()), 0);
    EXPECT_EQ(c.load(nullptr), 0);
    ASSERT_EQ(c.load(dataPath("sections.ini").c_str()), 1);
    ASSERT_EQ(c.load(dataPath("long-lines.ini").c_str()), 1);
    EXPECT_EQ(found(c, "net", "port"), "(none)");
    EXPECT_EQ(found(c, "", "a"), "(none)");
}

}  // namespace
