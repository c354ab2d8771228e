#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/PageViewer.h"
#include "support/CapturedUI.h"

namespace {

const std::string kPrompt = "press space bar for next page, 'q' to quit";
const std::string kFull = "PageViewer is full...";

// Hands out the scripted keys one by one, then end of input.
struct ScriptedKeys {
    explicit ScriptedKeys(std::string k) : keys(std::move(k)) {}
    int operator()() { return used < keys.size() ? (unsigned char)keys[used++] : -1; }
    std::string keys;
    size_t used = 0;
};

std::string numbered(int from, int to) {
    std::string out;
    for (int i = from; i <= to; i++) out += "line " + std::to_string(i) + "\n";
    return out;
}

// Gathers `offered` lines through printLine and shows them.
std::string page(int offered, int pageLines, ScriptedKeys& keys) {
    PageViewer pager;
    CapturedUI console(&pager);
    pager.setLines(pageLines);
    pager.setKeyReader([&keys] { return keys(); });
    pager.begin();
    for (int i = 1; i <= offered; i++) console.gateway.printLine("line %d", i);
    pager.show();
    return console.text();
}

}  // namespace

TEST(PageViewer, PagesKeysAndLimits) {
    struct Case {
        const char* name;
        int offered;
        int pageLines;
        std::string keys;
        std::string expected;
        size_t keysUsed;
    };
    const std::string next = kPrompt + "\n";
    std::string thousand;
    for (int from = 1; from <= 1000; from += 24) {
        int to = from + 23 < 1000 ? from + 23 : 1000;
        thousand += numbered(from, to);
        if (to < 1000) thousand += next;
    }
    const Case cases[] = {
        {"two pages", 30, 24, " ", numbered(1, 24) + next + numbered(25, 30), 1},
        {"exactly one page", 24, 24, "", numbered(1, 24), 0},
        {"q ends it", 30, 24, "q", numbered(1, 24) + next, 1},
        {"Q ends it", 60, 24, " Q", numbered(1, 24) + next + numbered(25, 48) + next, 2},
        {"other keys wait on", 30, 24, "xz\n ", numbered(1, 24) + next + numbered(25, 30), 4},
        {"end of input quits", 30, 24, "", numbered(1, 24) + next, 0},
        {"short page", 7, 3, "  ", numbered(1, 3) + next + numbered(4, 6) + next + numbered(7, 7),
         2},
        {"nothing gathered", 0, 24, "", "", 0},
        {"full", 1005, 24, std::string(41, ' '), thousand + kFull + "\n", 41},
        {"full then q", 1005, 24, "q", numbered(1, 24) + next, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedKeys keys(c.keys);
        EXPECT_EQ(c.expected, page(c.offered, c.pageLines, keys));
        EXPECT_EQ(c.keysUsed, keys.used);
    }
}

TEST(PageViewer, ShowWithoutBeginPrintsNothing) {
    PageViewer pager;
    CapturedUI console(&pager);
    int asked = 0;
    pager.setKeyReader([&asked] { return asked++, ' '; });
    console.gateway.printLine("direct");
    pager.show();
    pager.begin();
    console.gateway.printLine("gathered");
    pager.show();
    pager.show();  // a second show has nothing left
    EXPECT_EQ("direct\ngathered\n", console.text());
    EXPECT_EQ(0, asked);
}

TEST(PageViewer, BeginDropsAnEarlierGathering) {
    PageViewer pager;
    CapturedUI console(&pager);
    pager.setKeyReader([] { return ' '; });
    pager.begin();
    console.gateway.printLine("old");
    pager.begin();
    console.gateway.printLine("new");
    pager.show();
    EXPECT_EQ("new\n", console.text());
}

TEST(PageViewer, PageLengthBelowOneCountsAsDefault) {
    struct Case {
        int set;
        int expected;
    };
    const Case cases[] = {{24, 24}, {1, 1}, {100, 100}, {0, 24}, {-5, 24}};
    PageViewer pager;
    EXPECT_EQ(24, pager.getLines());
    for (const Case& c : cases) {
        pager.setLines(c.set);
        EXPECT_EQ(c.expected, pager.getLines()) << c.set;
    }
    // A page length of 0 must not print a prompt after every line or none at all.
    ScriptedKeys keys(" ");
    EXPECT_EQ(numbered(1, 24) + kPrompt + "\n" + numbered(25, 30), page(30, 0, keys));
}

TEST(PageViewer, WithoutATerminalEverythingIsPrintedWithoutPausing) {
    // Standard input from /dev/null: no terminal, and no key reader installed.
    int saved = dup(0);
    int null = open("/dev/null", O_RDONLY);
    ASSERT_GE(saved, 0);
    ASSERT_GE(null, 0);
    ASSERT_EQ(0, dup2(null, 0));
    close(null);

    std::string text;
    {
        PageViewer pager;
        CapturedUI console(&pager);
        pager.begin();
        for (int i = 1; i <= 1003; i++) console.gateway.printLine("line %d", i);
        pager.show();
        text = console.text();
    }
    dup2(saved, 0);
    close(saved);
    EXPECT_EQ(numbered(1, 1000) + kFull + "\n", text);
}

TEST(PageViewer, OnATerminalItWaitsForKeys) {
    int master = -1, slave = -1;
    ASSERT_EQ(0, openpty(&master, &slave, nullptr, nullptr, nullptr));
    int saved = dup(0);
    ASSERT_GE(saved, 0);
    ASSERT_EQ(0, dup2(slave, 0));
    // Keys typed ahead: one ignored, a space for the next page, then 'q'.
    ASSERT_EQ(3, write(master, "x q", 3));

    std::string text;
    {
        PageViewer pager;
        CapturedUI console(&pager);
        pager.setLines(10);
        pager.begin();
        for (int i = 1; i <= 30; i++) console.gateway.printLine("line %d", i);
        pager.show();
        text = console.text();
    }
    struct termios mode;
    ASSERT_EQ(0, tcgetattr(0, &mode));
    dup2(saved, 0);
    close(saved);
    close(slave);
    close(master);
    clearerr(stdin);

    const std::string next = kPrompt + "\n";
    EXPECT_EQ(numbered(1, 10) + next + numbered(11, 20) + next, text);
    // Line mode and echo are back once the pager is done.
    EXPECT_TRUE(mode.c_lflag & ICANON);
    EXPECT_TRUE(mode.c_lflag & ECHO);
}

TEST(PageViewer, ConcurrentAddsAreAllKept) {
    PageViewer pager;
    CapturedUI console(&pager);
    pager.setLines(1000);
    pager.setKeyReader([] { return 'q'; });
    pager.begin();
    const int kThreads = 4, kLines = 250;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; i++) console.gateway.printLine("t%d-%d", t, i);
        });
    for (std::thread& th : threads) th.join();
    pager.show();

    std::string text = console.text();
    std::vector<int> next(kThreads, 0);
    size_t lines = 0, pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        ASSERT_NE(std::string::npos, end);
        int t = -1, i = -1;
        ASSERT_EQ(2, sscanf(text.substr(pos, end - pos).c_str(), "t%d-%d", &t, &i));
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(next[t]++, i);
        lines++;
        pos = end + 1;
    }
    EXPECT_EQ((size_t)(kThreads * kLines), lines);
}

TEST(PageViewer, NullLinesAreIgnored) {
    PageViewer pager;
    CapturedUI console(&pager);
    EXPECT_FALSE(pager.add("off"));
    pager.begin();
    EXPECT_TRUE(pager.add(nullptr));
    EXPECT_TRUE(pager.add("kept"));
    pager.show();
    EXPECT_EQ("kept\n", console.text());
}
