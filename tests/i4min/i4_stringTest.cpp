#include <climits>
#include <gtest/gtest.h>
#include <string>

#include "i4_test_util.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"

namespace {

std::string stored(const i4_string& s) {
    return bytes_written([&](i4_file& f) { s.write(f); });
}

TEST(i4_string, StoredForms) {
    struct {
        const char* text;
        std::string bytes;
    } cases[] = {
        {"", std::string("\0\0", 2)},
        {nullptr, std::string("\0\0", 2)},
        {"abc", std::string("\3\0abc", 5)},
        {"\xE9t\xE9", std::string("\3\0\xE9t\xE9", 5)},
    };
    for (auto& c : cases)
        EXPECT_EQ(stored(i4_string(c.text)), c.bytes) << (c.text ? c.text : "(null)");

    std::string big(300, 'x');
    EXPECT_EQ(stored(i4_string(big.c_str())), std::string("\x2c\x01", 2) + big);
}

TEST(i4_string, NullIsEmptyButNotEqualToEmpty) {
    i4_string def;
    i4_string null_text((const char*)nullptr);
    ASSERT_NE(def.c_str(), nullptr);
    EXPECT_STREQ(def.c_str(), "");
    EXPECT_TRUE(def.is_empty());
    EXPECT_EQ(null_text.c_str(), nullptr);
    EXPECT_TRUE(null_text.is_empty());
    EXPECT_FALSE(null_text.equals(def));
    EXPECT_TRUE(null_text.equals((const char*)nullptr));
    EXPECT_TRUE(null_text < def);
}

TEST(i4_string, WriteRefusesTextsWithoutAStoredForm) {
    for (size_t len : {65535u, 65536u, 70000u}) {
        std::string big(len, 'y');
        i4_string s(big.c_str());
        i4_ram_file_class f(nullptr, 0, 1024);
        EXPECT_EQ(error_of([&] { s.write(f); }), "write string error") << len;
        EXPECT_EQ(f.size(), 0) << "nothing may be written for " << len;
        i4_free(f.get_buffer());
    }
    std::string longest(65534, 'z');
    EXPECT_EQ(stored(i4_string(longest.c_str())), std::string("\xfe\xff", 2) + longest);
}

TEST(i4_string, WriteIntoAFullFileFails) {
    struct {
        int32_t room;
        const char* text;
    } cases[] = {{0, "abc"}, {1, ""}, {3, "abc"}, {4, "abc"}};
    for (auto& c : cases) {
        char buf[8];
        i4_ram_file_class f(buf, c.room, 0);
        EXPECT_EQ(error_of([&] { i4_string(c.text).write(f); }), "write string error")
            << c.room << " bytes of room for " << c.text;
    }
}

// Reads a string from the given stored bytes; answers the text or the error.
std::string read_back(const std::string& bytes, uint16_t max = 0xFFFF) {
    i4_ram_file_class f((void*)bytes.data(), (int32_t)bytes.size(), 0);
    std::string text;
    std::string err = error_of([&] {
        i4_string s(max, f);
        text = s.c_str() ? s.c_str() : "(null)";
    });
    return err == "(no error)" ? text : "error: " + err;
}

TEST(i4_string, ReadingConstructor) {
    struct {
        std::string bytes;
        std::string result;
    } cases[] = {
        {std::string("\0\0", 2), ""},
        {std::string("\3\0abc", 5), "abc"},
        {std::string("\3\0abcdef", 8), "abc"},
        {std::string("\xff\xff", 2), "error: read string error"},
        {std::string("\xff\xff"
                     "abc",
                     5),
         "error: read string error"},
        {std::string("\5\0ab", 4), "error: field past the end of the input"},
        {std::string("\1", 1), "error: read_16 error"},
        {std::string(), "error: read_16 error"},
    };
    for (auto& c : cases) {
        EXPECT_EQ(read_back(c.bytes), c.result);
        // The file-only constructor agrees with the unlimited one.
        i4_ram_file_class f((void*)c.bytes.data(), (int32_t)c.bytes.size(), 0);
        std::string err = error_of([&] { i4_string s(f); });
        if (c.result.rfind("error: ", 0) == 0)
            EXPECT_EQ("error: " + err, c.result);
        else
            EXPECT_EQ(err, "(no error)");
    }
}

TEST(i4_string, ReadingWithALimitSkipsTheRest) {
    std::string text(40000, 'q');
    text[199] = 'L';
    std::string bytes = std::string("\x40\x9c", 2) + text + "NEXT";
    i4_ram_file_class f((void*)bytes.data(), (int32_t)bytes.size(), 0);
    i4_string s(200, f);
    EXPECT_EQ(s.length(), 200);
    EXPECT_EQ(s.c_str()[199], 'L');
    EXPECT_EQ(f.tell(), 40002);
    EXPECT_EQ(f.read_32(), 0x5458454eu);  // "NEXT"

    struct {
        uint16_t max;
        std::string result;
    } cases[] = {{0, ""}, {2, "ab"}, {3, "abc"}, {100, "abc"}};
    for (auto& c : cases) EXPECT_EQ(read_back(std::string("\3\0abc", 5), c.max), c.result) << c.max;
    EXPECT_EQ(read_back(std::string("\5\0abc", 5), 2), "error: field past the end of the input");
}

TEST(i4_string, RawReadingConstructor) {
    std::string bytes = "abcdef";
    i4_ram_file_class f((void*)bytes.data(), 6, 0);
    i4_string s(f, 4);
    EXPECT_STREQ(s.c_str(), "abcd");
    EXPECT_EQ(error_of([&] { i4_string t(f, 4); }), "read string error");
    EXPECT_EQ(error_of([&] { i4_string t(f, -1); }), "read string error");
}

TEST(i4_string, AssignAndAppendTheirOwnText) {
    i4_string s("abc");
    i4_string& alias = s;  // a self-assignment the compiler does not flag
    s = alias;
    EXPECT_STREQ(s.c_str(), "abc");
    s.assign(s.c_str());
    EXPECT_STREQ(s.c_str(), "abc");
    s.append(s.c_str());
    EXPECT_STREQ(s.c_str(), "abcabc");
    s.append(s);
    EXPECT_STREQ(s.c_str(), "abcabcabcabc");
    s.assign(s.c_str() + 9);
    EXPECT_STREQ(s.c_str(), "abc");
    s.append_n(s.c_str() + 1, 2);
    EXPECT_STREQ(s.c_str(), "abcbc");
    s.format("<%S>", &s);
    EXPECT_STREQ(s.c_str(), "<abcbc>");
}

TEST(i4_string, NullTextOperations) {
    i4_string s((const char*)nullptr);
    s.append((const char*)nullptr);
    EXPECT_EQ(s.c_str(), nullptr);
    s.append_n(nullptr, 0);
    EXPECT_EQ(s.c_str(), nullptr);
    s.to_lower();
    s.truncate(0);
    EXPECT_EQ(s.replace("a", "b"), 0);
    EXPECT_EQ(s.replace_char('a', 'b'), 0);
    EXPECT_EQ(s.length(), 0);
    s.append("X");
    EXPECT_STREQ(s.c_str(), "X");

    i4_string copy(s);
    copy = (const char*)nullptr;
    EXPECT_EQ(copy.c_str(), nullptr);
    i4_string copy_of_null(copy);
    EXPECT_EQ(copy_of_null.c_str(), nullptr);
    EXPECT_TRUE(copy_of_null.equals(copy));
    EXPECT_TRUE(copy.differs(""));
}

TEST(i4_string, Editing) {
    i4_string s("Hello World");
    s.to_lower();
    EXPECT_STREQ(s.c_str(), "hello world");
    s.truncate(20);
    EXPECT_STREQ(s.c_str(), "hello world");
    s.truncate(5);
    EXPECT_STREQ(s.c_str(), "hello");
    s.truncate(0);
    EXPECT_STREQ(s.c_str(), "");
    EXPECT_TRUE(s.is_empty());

    i4_string t("a.b.c");
    EXPECT_EQ(t.replace_char('.', '/'), 2);
    EXPECT_STREQ(t.c_str(), "a/b/c");
    EXPECT_EQ(t.replace_char('/', '/'), 2);
    EXPECT_EQ(*t.char_at(2), 'b');
}

TEST(i4_string, ReplaceCharCountsEveryOccurrence) {
    struct {
        const char* text;
        char from, to;
        int count;
        std::string buffer;  // the whole buffer afterwards, terminator included
    } cases[] = {
        {"a.b.c", '.', '/', 2, std::string("a/b/c\0", 6)},
        {"aaa", 'a', 'a', 3, std::string("aaa\0", 4)},
        {"abc", 'x', 'y', 0, std::string("abc\0", 4)},
        {"a,b,c", ',', '\0', 2, std::string("a\0b\0c\0", 6)},
        {"", 'a', 'b', 0, std::string("\0", 1)},
    };
    for (auto& c : cases) {
        i4_string s(c.text);
        EXPECT_EQ(s.replace_char(c.from, c.to), c.count) << c.text;
        EXPECT_EQ(std::string(s.c_str(), c.buffer.size()), c.buffer) << c.text;
    }
}

TEST(i4_string, Replace) {
    struct {
        const char* text;
        const char* from;
        const char* to;
        int count;
        const char* result;
    } cases[] = {
        {"aaaa", "aa", "b", 2, "bb"},       {"aaa", "aa", "b", 1, "ba"},
        {"a-b-c", "-", "--", 2, "a--b--c"}, {"a-b-c", "-", "", 2, "abc"},
        {"a-b-c", "-", nullptr, 2, "abc"},  {"abc", "x", "y", 0, "abc"},
        {"abc", "abc", "", 1, ""},          {"%20x%20", "%20", " ", 2, " x "},
        {"abc", "", "y", 0, "abc"},
    };
    for (auto& c : cases) {
        i4_string s(c.text);
        EXPECT_EQ(s.replace(c.from, c.to), c.count) << c.text << " " << c.from;
        EXPECT_STREQ(s.c_str(), c.result);
    }
}

TEST(i4_string, ReplaceRefusesAResultNoBufferCanHold) {
    // 65,536 matches growing by 65,536 bytes each: 4 GiB more, which a 32-bit
    // size would wrap to a buffer of a few bytes.
    std::string text(65536, 'a');
    std::string grown(65537, 'b');
    i4_string s(text.c_str());
    EXPECT_EQ(error_of([&] { s.replace("a", grown.c_str()); }), "out of memory");
    EXPECT_EQ(std::string(s.c_str()), text);
}

TEST(i4_string, Format) {
    i4_string s;
    std::string long_text(2000, 'w');
    s.format("%s|%d", long_text.c_str(), -7);
    EXPECT_EQ(std::string(s.c_str()), long_text + "|-7");
    EXPECT_STREQ(s.format("%u items", 3u).c_str(), "3 items");
}

TEST(i4_strings, CompareSigned) {
    const char* a = "a";
    struct {
        const char* x;
        const char* y;
        int cmp;
        int icmp;
    } cases[] = {
        {"abc", "abc", 0, 0},   {"abc", "abd", -1, -1},
        {"abd", "abc", 1, 1},   {"ab", "abc", -1, -1},
        {"abc", "ABC", 1, 0},   {"\xE9", "a", -1, -1},  // bytes above 0x7F sort first
        {"a", "\xE9", 1, 1},    {"\xE9", "", -1, -1},
        {"", "", 0, 0},         {nullptr, "", -1, -1},
        {"", nullptr, 1, 1},    {nullptr, nullptr, 0, 0},
        {a, a, 0, 0},           {"[", "a", -1, 1},  // '[' lies between 'Z' and 'a'
        {"\xE9", "\xC9", 1, 1},                     // only ASCII letters fold
    };
    for (auto& c : cases) {
        EXPECT_EQ(i4_strcmp(c.x, c.y), c.cmp)
            << (c.x ? c.x : "(null)") << " " << (c.y ? c.y : "(null)");
        EXPECT_EQ(i4_stricmp(c.x, c.y), c.icmp)
            << (c.x ? c.x : "(null)") << " " << (c.y ? c.y : "(null)");
    }
}

TEST(i4_strings, MemCompare) {
    struct {
        const char* x;
        const char* y;
        int n;
        int cmp;
        int icmp;
    } cases[] = {
        {"abcX", "abcY", 3, 0, 0}, {"abcX", "abcY", 4, -1, -1}, {"ab\0x", "ab\0y", 4, -1, -1},
        {"AbC", "aBc", 3, -1, 0},  {"\x80", "\x7f", 1, -1, -1}, {"a", "b", 0, 0, 0},
    };
    for (auto& c : cases) {
        EXPECT_EQ(i4memcmp(c.x, c.y, c.n), c.cmp) << c.x;
        EXPECT_EQ(i4memicmp(c.x, c.y, c.n), c.icmp) << c.x;
    }
    EXPECT_EQ(error_of([] { i4memcmp(nullptr, "a", 1); }), "i4memcmp null pointers passed");
    EXPECT_EQ(error_of([] { i4memcmp("a", nullptr, 0); }), "i4memcmp null pointers passed");
    EXPECT_EQ(error_of([] { i4memicmp(nullptr, "a", 1); }), "i4memicmp null pointers passed");
}

TEST(i4_strings, CaseMapping) {
    struct {
        char in, up, low;
    } cases[] = {
        {'a', 'A', 'a'}, {'z', 'Z', 'z'},          {'A', 'A', 'a'},          {'Z', 'Z', 'z'},
        {'@', '@', '@'}, {'[', '[', '['},          {'`', '`', '`'},          {'{', '{', '{'},
        {'5', '5', '5'}, {'\xE9', '\xE9', '\xE9'}, {'\xC9', '\xC9', '\xC9'},
    };
    for (auto& c : cases) {
        EXPECT_EQ(toUpperChar(c.in), c.up) << (int)c.in;
        EXPECT_EQ(toLowerChar(c.in), c.low) << (int)c.in;
    }
    char text[] = "MiXeD \xC9T\xC9";
    EXPECT_STREQ(i4_strlwr(text), "mixed \xC9t\xC9");
    EXPECT_EQ(i4_strlwr(nullptr), nullptr);
}

TEST(i4_strings, CopyHelpers) {
    EXPECT_EQ(i4_strlen(nullptr), 0);
    EXPECT_EQ(i4_strlen("abc"), 3);
    EXPECT_EQ(i4_strdup(nullptr), nullptr);

    struct {
        const char* src;
        int n;
        const char* result;
    } ncpy[] = {{"abcdef", 4, "abc"}, {"ab", 4, "ab"}, {"abc", 1, ""}, {nullptr, 4, ""}};
    for (auto& c : ncpy) {
        char buf[8];
        memset(buf, '#', sizeof buf);
        EXPECT_STREQ(i4_strncpy(buf, c.src, c.n), c.result);
        EXPECT_EQ(buf[c.n], '#') << "i4_strncpy wrote past its count";
    }

    struct {
        const char* src;
        int n;
        const char* result;
    } ndup[] = {{"abcdef", 3, "abc"}, {"ab", 5, "ab"}, {"abc", 0, ""}};
    for (auto& c : ndup) {
        char* out = nullptr;
        char* r = i4_strndup(&out, c.src, c.n);
        EXPECT_EQ(r, out);
        EXPECT_STREQ(out, c.result);
        i4_free(out);
    }

    char buf[16];
    i4_strcpy(buf, "ab");
    i4_strcat(buf, "cd");
    i4_strcat(buf, nullptr);
    EXPECT_STREQ(buf, "abcd");
    EXPECT_STREQ(i4_strcpy(buf, nullptr), "");
}

TEST(i4_strings, Atoi) {
    struct {
        const char* text;
        int value;
    } cases[] = {
        {"42", 42},
        {"-42", -42},
        {"12abc", 12},
        {" 12", 0},
        {"+5", 0},
        {"", 0},
        {nullptr, 0},
        {"-", 0},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"1 2", 1},
    };
    for (auto& c : cases) EXPECT_EQ(i4_atoi(c.text), c.value) << (c.text ? c.text : "(null)");
}

TEST(i4_strings, Search) {
    const char* text = "Hello World";
    struct {
        const char* pattern;
        int plain, icase, lower;  // offset of the match, -1 for none
    } cases[] = {
        {"World", 6, 6, -1}, {"world", -1, 6, 6}, {"WORLD", -1, 6, -1},         {"o", 4, 4, 4},
        {"", 0, 0, 0},       {"xyz", -1, -1, -1}, {"Hello World!", -1, -1, -1},
    };
    auto at = [&](const char* p) { return p ? (int)(p - text) : -1; };
    for (auto& c : cases) {
        EXPECT_EQ(at(i4_strstr(text, c.pattern)), c.plain) << c.pattern;
        EXPECT_EQ(at(stristr(text, c.pattern)), c.icase) << c.pattern;
        EXPECT_EQ(at(i4_strstr_lower(text, c.pattern)), c.lower) << c.pattern;
    }
    EXPECT_EQ(i4_strstr((const char*)nullptr, "a"), nullptr);
    EXPECT_EQ(stristr(text, nullptr), nullptr);
}

TEST(i4_strings, Tokenizer) {
    struct {
        const char* text;
        const char* delims;
        int pos;
        int buflen;
        int result;
        const char* token;  // null: buffer left untouched
    } cases[] = {
        {"a b", " ", 0, 256, 1, "a"},     {"a b", " ", 1, 256, -1, "b"},
        {"a  ", " ", 1, 256, 0, nullptr}, {"a  ", " ", 3, 256, -1, ""},
        {"abcdef", " ", 0, 4, 3, "abc"},  {"abcdef", " ", 3, 4, 6, "def"},
        {"abcdef", " ", 6, 4, -1, ""},    {"  x,y", " ,", 0, 256, 3, "x"},
        {"  x,y", " ,", 3, 256, -1, "y"}, {"say \"hi there\"", " \"", 3, 256, 7, "hi"},
        {"", " ", 0, 256, -1, ""},        {"abc", " ", -1, 256, 0, nullptr},
        {"abc", " ", 0, 1, 0, nullptr},  // no room for a character
        {"abc", " ", 0, 0, 0, nullptr},   {"abc", " ", 0, 2, 1, "a"},
        {"abc", "", 0, 256, -1, "abc"},
    };
    for (auto& c : cases) {
        char buf[256];
        memset(buf, '#', sizeof buf);
        int r = i4_strtok(c.text, c.delims, c.pos, buf, c.buflen);
        EXPECT_EQ(r, c.result) << c.text << " from " << c.pos;
        if (c.token)
            EXPECT_STREQ(buf, c.token) << c.text << " from " << c.pos;
        else
            EXPECT_EQ(buf[0], '#') << c.text << " from " << c.pos;
    }
}

TEST(i4_strings, TokenizerWalk) {
    struct {
        const char* text;
        int buflen;
        std::string tokens;
    } cases[] = {
        {"get  1, 2,3", 256, "[get][1][2][3]"},
        {"  lead", 256, "[lead]"},
        {"trail  ", 256, "[trail]"},
        {"abcdefgh", 4, "[abc][def][gh]"},
        {"abcdef", 4, "[abc][def][]"},
        {"", 256, "[]"},
        {" , ", 256, ""},
    };
    for (auto& c : cases) {
        std::string got;
        char buf[256];
        int pos = 0;
        for (int i = 0; i < 100; i++) {
            pos = i4_strtok(c.text, " ,", pos, buf, c.buflen);
            if (pos == 0) break;
            got += "[" + std::string(buf) + "]";
            if (pos < 0) break;
        }
        EXPECT_EQ(got, c.tokens) << c.text;
    }
}

TEST(i4_strings, NextLine) {
    const char* text = "first\r\n\r\nsecond\nthird-is-long";
    int pos = 0;
    char buf[8];
    struct {
        const char* line;
        char ended_by;
    } expected[] = {{"first", '\r'}, {"second", '\n'}, {"third-i", 0}, {"", 0}};
    for (auto& e : expected) {
        EXPECT_EQ(i4_next_line(buf, sizeof buf, text, &pos), e.ended_by);
        EXPECT_STREQ(buf, e.line);
    }
    EXPECT_EQ(pos, (int)strlen(text));
}

TEST(i4_strings, Snprintf) {
    struct {
        int n;
        const char* result;
    } cases[] = {{1, ""}, {2, "a"}, {4, "abc"}, {7, "abcdef"}, {20, "abcdef"}};
    for (auto& c : cases) {
        char buf[32];
        memset(buf, '#', sizeof buf);
        EXPECT_STREQ(i4_snprintf(buf, c.n, "%s%s", "abc", "def"), c.result) << c.n;
        EXPECT_EQ(buf[c.n], '#') << "wrote past " << c.n;
    }
    char buf[4] = "xyz";
    i4_snprintf(buf, 0, "abc");
    EXPECT_STREQ(buf, "xyz");
    char big[32];
    EXPECT_STREQ(i4_sprintf(big, "%d-%s", 12, "ab"), "12-ab");
}

TEST(i4_strings, MaskControls) {
    struct Case {
        std::string in;
        std::string line;    // masked as one line
        std::string layout;  // line ends and tabs kept
    } cases[] = {
        {"plain text", "plain text", "plain text"},
        {"\x1b[31mred\x1b[0m", "?[31mred?[0m", "?[31mred?[0m"},
        {"a\tb\nc", "a?b?c", "a\tb\nc"},
        {"a\r\nb\rc\r", "a??b?c?", "a\r\nb?c?"},
        {std::string("nul\0x", 5), "nul?x", "nul?x"},
        {"bell\x07 del\x7f", "bell? del?", "bell? del?"},
        // C1 controls in UTF-8 and on their own; U+00A0 and on are characters.
        {"\xc2\x9b"
         "2J \xc2\x85 \xc2\xa0",
         "?2J ? \xc2\xa0", "?2J ? \xc2\xa0"},
        {"lone \x9b"
         "1m \x80",
         "lone ?1m ?", "lone ?1m ?"},
        // UTF-8 text, with continuation bytes in the C1 range, stays whole.
        {"caf\xc3\xa9 \xe2\x98\x95 \xc4\x9b \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x98\x95 \xc4\x9b \xf0\x9f\x98\x80",
         "caf\xc3\xa9 \xe2\x98\x95 \xc4\x9b \xf0\x9f\x98\x80"},
        // Latin-1 letters stay; a sequence cut short is its bytes.
        {"caf\xe9 \xe2\x98", "caf\xe9 \xe2?", "caf\xe9 \xe2?"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        std::string out = "left";
        bool masked = i4_mask_controls(c.in.data(), (int)c.in.size(), false, out);
        EXPECT_EQ(c.line, masked ? out : c.in) << testing::PrintToString(c.in);
        EXPECT_EQ(masked, c.line != c.in) << testing::PrintToString(c.in);
        out = "left";
        masked = i4_mask_controls(c.in.data(), (int)c.in.size(), true, out);
        EXPECT_EQ(c.layout, masked ? out : c.in) << testing::PrintToString(c.in);
        EXPECT_EQ(masked, c.layout != c.in) << testing::PrintToString(c.in);
    }
    EXPECT_EQ("a?b", i4_masked_line("a\nb"));
    EXPECT_EQ("", i4_masked_line(nullptr));
}

TEST(i4_strings, UrlDecode) {
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a+b%41", "a bA"},
        {"x%4", "x%4"},
        {"x%", "x%"},
        {"%41%42", "AB"},
        {"%e9t%C3%A9", "\xe9t\xc3\xa9"},
        {"a%00b", "a%00b"},  // a zero byte would end the text
        {"a%zzb", "a%zzb"},
        {"a%4gb", "a%4gb"},
        {"a%-1b", "a%-1b"},
        {"a% 1b", "a% 1b"},
        {"%%41", "%A"},
        {"100%", "100%"},
        {"%2B+", "+ "},  // '+' is decoded before the escapes
        {"%41%4", "A%4"},
    };
    for (auto& c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        EXPECT_STREQ(urlDecode(buf), c.out) << c.in;
    }
}

TEST(i4_strings, SizesAndMinutes) {
    struct {
        int64_t count;
        const char* text;
    } sizes[] = {
        {0, "0"},
        {1000, "1000"},
        {1001, "0.98K"},
        {1000001, "0.95M"},
        {1000000001, "0.93G"},
        {-5, "-5"},
        {INT64_C(5000000000), "4.66G"},
        {INT64_C(-5000000000), "-5000000000"},
    };
    for (auto& c : sizes) EXPECT_STREQ(formatSize(c.count).c_str(), c.text) << c.count;

    struct {
        const char* text;
        double value;
    } parsed[] = {
        {"2", 2},
        {"2k", 2048},
        {"2K", 2048},
        {"1.5m", 1.5 * 1048576},
        {"1g", 1073741824.0},
        {"3 mkg", 3 * 1073741824.0},
        {"3km", 3 * 1048576.0},
        {"x", 0},
    };
    for (auto& c : parsed) EXPECT_DOUBLE_EQ(parseSize(c.text), c.value) << c.text;

    struct {
        const char* text;
        int minutes;
    } minutes[] = {{"5", 5},
                   {"2h", 120},
                   {"2H", 120},
                   {"2hm", 2},
                   {"90m", 90},
                   {"", 0},
                   {"-7.9", -7},
                   {"2147483647", 2147483647},
                   {"-2147483648", INT_MIN},
                   {"2147483648", 0},
                   {"35791395h", 0},  // past the int range once made minutes
                   {"1e300", 0},
                   {"-1e300", 0},
                   {"nan", 0},
                   {"inf", 0}};
    for (auto& c : minutes) EXPECT_EQ(parseMinutes(c.text), c.minutes) << c.text;
}

}  // namespace
