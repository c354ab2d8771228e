#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "MetaTestUtil.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FilterMaster.h"
#include "meta/MetaTag.h"
#include "meta/Search.h"
#include "util/LLView.h"

namespace {

class FilterMasterTest : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        char pattern[] = "/tmp/filtertestXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        file = dir + "/filters.txt";
    }
    void TearDown() override {
        unlink(file.c_str());
        rmdir(dir.c_str());
    }
    void write(const std::string& bytes) {
        FILE* f = fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }
    std::string words(FilterMaster& filters) {
        i4_string text("");
        filters.toText(text);
        return text.c_str();
    }

    std::string dir, file;
    CapturedOutput out;
};

FileMeta* result(const char* name, const char* artist = nullptr) {
    FileMeta* m = new FileMeta();
    m->setName(name);
    if (artist) m->setTag("Artist", artist, MetaTag::STRING);
    return m;
}

TEST_F(FilterMasterTest, MissingFileLeavesNoWords) {
    FilterMaster filters;
    filters.addWord("old");
    EXPECT_FALSE(filters.load(file.c_str()));
    EXPECT_EQ(filters.wordCount(), 0);
    FileMeta* m = result("old song");
    EXPECT_FALSE(filters.matches(m));
    FileList list;
    list.add(m);
    filters.filter(&list);
    EXPECT_EQ(list.getList()->count(), 1);
    list.deleteAll();
}

TEST_F(FilterMasterTest, LinesBecomeWords) {
    const std::string long300 = std::string(255, 'a') + std::string(45, 'b');
    const struct {
        const char* what;
        std::string file;
        std::string words;
    } table[] = {
        {"LF lines", "one\ntwo\n", "one\r\ntwo\r\n"},
        {"CR LF lines", "one\r\ntwo\r\n", "one\r\ntwo\r\n"},
        {"no line end at the end", "one\ntwo", "one\r\ntwo\r\n"},
        {"empty lines and a lone CR", "\n\r\n\r\none\n\n", "one\r\n"},
        {"blanks are kept", " lead\ttab \n", " lead\ttab \r\n"},
        {"text after a CR is cut", "ab\rcd\n", "ab\r\n"},
        {"300 characters make two words", long300 + "\n",
         std::string(255, 'a') + "\r\n" + std::string(45, 'b') + "\r\n"},
        {"255 characters make one word", std::string(255, 'c') + "\r\nx\n",
         std::string(255, 'c') + "\r\nx\r\n"},
        {"empty file", "", ""},
    };
    for (const auto& c : table) {
        write(c.file);
        FilterMaster filters;
        EXPECT_TRUE(filters.load(file.c_str())) << c.what;
        EXPECT_EQ(words(filters), c.words) << c.what;
    }
}

TEST_F(FilterMasterTest, WordsMatchAnyTextTagIgnoringCase) {
    write("WoRlD\r\n bAnd\r\nexact\n");
    FilterMaster filters;
    ASSERT_TRUE(filters.load(file.c_str()));
    const struct {
        const char* name;
        const char* artist;
        bool dropped;
    } table[] = {
        {"Hello world.mp3", nullptr, true},
        {"HELLOWORLDS.ogg", nullptr, true},
        {"clean.mp3", "The BAND", true},
        {"clean.mp3", "Band first", false},  // the blank of " band" is part of the word
        {"clean.mp3", "Orchestra", false},
        {"inexactly", nullptr, true},
        {"wor ld", nullptr, false},
    };
    for (const auto& c : table) {
        FileMeta* m = result(c.name, c.artist);
        EXPECT_EQ(filters.matches(m), c.dropped) << c.name << " / " << (c.artist ? c.artist : "");
        delete m;
    }
    FileMeta onlyNumbers;
    int32_t n = 7;
    onlyNumbers.setTag("world", &n, MetaTag::INT);
    EXPECT_FALSE(filters.matches(&onlyNumbers)) << "tag names and int tags are not searched";

    FileList list;
    for (const auto& c : table) list.add(result(c.name, c.artist));
    filters.filter(&list);
    std::string kept;
    for (FileMeta* m : LLView<FileMeta>(list.getList())) kept += std::string(m->getName()) + ";";
    EXPECT_EQ(kept, "clean.mp3;clean.mp3;wor ld;");
    list.deleteAll();
}

TEST_F(FilterMasterTest, LoadingAgainReplacesTheWords) {
    write("first\n");
    FilterMaster filters;
    ASSERT_TRUE(filters.load(file.c_str()));
    write("second\n");
    ASSERT_TRUE(filters.load(file.c_str()));
    EXPECT_EQ(words(filters), "second\r\n");
    FileMeta* a = result("first");
    FileMeta* b = result("second");
    EXPECT_FALSE(filters.matches(a));
    EXPECT_TRUE(filters.matches(b));
    delete a;
    delete b;
}

TEST_F(FilterMasterTest, TheSearchOrsTheWordsInFileOrder) {
    write("a\nb\nc\n");
    FilterMaster filters;
    ASSERT_TRUE(filters.load(file.c_str()));
    i4_string shown("");
    filters.getSearch()->toString(shown);
    EXPECT_STREQ(shown.c_str(), "search(  (  ( a | b )  | c )  )");
}

// Only the first MAX_FILE_BYTES of the file are read: the words after them are
// dropped and the load says it was cut, however big the file is.
TEST_F(FilterMasterTest, OnlyTheFirstPartOfABigFileIsRead) {
    const int cap = FilterMaster::MAX_FILE_BYTES;
    // n lines of four bytes each: "ab0\n", "ab1\n", ...
    auto lines = [](int n) {
        std::string text;
        for (int i = 0; i < n; i++) text += "ab" + std::to_string(i % 10) + "\n";
        return text;
    };
    std::string oneLetterLines;
    for (int i = 0; i < 10 * 1024 * 1024; i++) oneLetterLines += "x\n";
    const struct {
        const char* what;
        std::string text;
        int words;
        bool cut;
        const char* dropped;  // a word past the cap, which must not filter
    } table[] = {
        {"exactly the cap", lines(cap / 4), cap / 4, false, nullptr},
        {"one line past it", lines(cap / 4) + "zz\n", cap / 4, true, "zz"},
        {"a line across it", lines(cap / 4 - 1) + "across\n", cap / 4 - 1, true, "across"},
        {"20 MB of one-letter lines", oneLetterLines, cap / 2, true, nullptr},
    };
    for (const auto& c : table) {
        SCOPED_TRACE(c.what);
        write(c.text);
        FilterMaster filters;
        ASSERT_TRUE(filters.load(file.c_str()));
        EXPECT_EQ(filters.wordCount(), c.words);
        EXPECT_EQ(filters.wasCut(), c.cut);
        FileMeta* kept = result(c.words == cap / 2 ? "x.mp3" : "song ab9.mp3");
        EXPECT_TRUE(filters.matches(kept));
        delete kept;
        if (c.dropped) {
            FileMeta* past = result(c.dropped);
            EXPECT_FALSE(filters.matches(past));
            delete past;
        }
    }
    write("");
    FilterMaster filters;
    EXPECT_TRUE(filters.load(file.c_str()));
    EXPECT_EQ(filters.wordCount(), 0);
    EXPECT_FALSE(filters.wasCut());
}

TEST_F(FilterMasterTest, AFifoIsNoFilterListAndIsNotWaitedFor) {
    ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
    FilterMaster filters;
    filters.addWord("old");
    EXPECT_FALSE(filters.load(file.c_str()));
    EXPECT_EQ(filters.wordCount(), 0);
}

TEST_F(FilterMasterTest, SaveWritesTheTextToTheLoadedPath) {
    FilterMaster filters;
    EXPECT_FALSE(filters.load(file.c_str()));
    EXPECT_TRUE(filters.save("x\r\ny\r\n", nullptr));
    ASSERT_TRUE(filters.load(file.c_str()));
    EXPECT_EQ(words(filters), "x\r\ny\r\n");
    EXPECT_FALSE(filters.save("z", (dir + "/no/such/dir/f").c_str()));
}

}  // namespace
