#include <ctime>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/PageViewer.h"
#include "core/UIGateway.h"
#include "i4min/TempDir.h"
#include "support/CapturedUI.h"

namespace {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) lines.push_back(line);
    return lines;
}

// "[ " + the ctime-form local time + " ]: " + text.
const std::regex kLogLine(
    R"(\[ (Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
    R"([ 123]\d \d\d:\d\d:\d\d \d{4} \]: (.*))");

// The moment a log stamp names, or -1 when it does not read as local time.
time_t stampTime(const std::string& stamp) {
    struct tm parts = {};
    const char* end = strptime(stamp.c_str(), "%a %b %d %H:%M:%S %Y", &parts);
    if (!end || *end) return -1;
    parts.tm_isdst = -1;
    return mktime(&parts);
}

}  // namespace

TEST(UIGatewayLog, LinesCarryLocalTimeAndText) {
    TempDir dir;
    ASSERT_FALSE(dir.path.empty());
    UIGateway ui;
    const std::string logFile = dir / "log.txt";
    ui.setLogFile(logFile.c_str());

    struct Case {
        const char* format;
        const char* arg;
        const char* expected;
    };
    const Case cases[] = {
        {"Start Tornavel", nullptr, "Start Tornavel"},
        {"%s", "100% done %s %d", "100% done %s %d"},
        {"download %s started", "file.mp3", "download file.mp3 started"},
        {"", nullptr, ""},
    };
    time_t before = time(nullptr);
    for (const Case& c : cases) {
        if (c.arg)
            ui.log(c.format, c.arg);
        else
            ui.log(c.format);
    }
    time_t after = time(nullptr);

    std::string text = readText(logFile);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ('\n', text.back());
    std::vector<std::string> lines = splitLines(text);
    ASSERT_EQ(sizeof cases / sizeof cases[0], lines.size());
    for (size_t i = 0; i < lines.size(); i++) {
        SCOPED_TRACE(lines[i]);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLogLine));
        EXPECT_EQ(cases[i].expected, m[3].str());
        time_t when = stampTime(lines[i].substr(2, 24));
        EXPECT_GE(when, before);
        EXPECT_LE(when, after);
    }
}

TEST(UIGatewayLog, EmptyPathLogsNothingAndCreatesNoFile) {
    TempDir dir;
    const std::string logFile = dir / "log.txt";
    UIGateway ui;
    ui.log("nothing %d", 1);
    ui.logRaw("raw", 3);
    ui.setLogFile(logFile.c_str());
    ui.setLogFile("");
    ui.log("nothing %d", 2);
    ui.logRaw("raw", 3);
    ui.setLogFile(nullptr);
    ui.log("nothing %d", 3);
    EXPECT_FALSE(fileExists(logFile));
}

TEST(UIGatewayLog, RawBytesAreAppendedAsTheyStand) {
    TempDir dir;
    const std::string logFile = dir / "log.txt";
    UIGateway ui;
    ui.setLogFile(logFile.c_str());
    const char bytes[] = {'a', 0, '%', 's', '\n'};
    ui.logRaw(bytes, sizeof bytes);
    ui.logRaw("tail", 4);
    EXPECT_EQ(std::string(bytes, sizeof bytes) + "tail", readText(logFile));
}

TEST(UIGatewayLog, UnopenableOrRemovedLogIsHandled) {
    TempDir dir;
    UIGateway ui;
    const std::string missingDir = dir / "no-such-dir/log.txt";
    ui.setLogFile(missingDir.c_str());
    ui.log("lost");
    ui.logRaw("lost", 4);
    EXPECT_FALSE(fileExists(missingDir));

    // The file is opened per line, so removing it while running starts afresh.
    const std::string logFile = dir / "log.txt";
    ui.setLogFile(logFile.c_str());
    ui.log("first");
    ASSERT_EQ(0, unlink(logFile.c_str()));
    ui.log("second");
    std::vector<std::string> lines = splitLines(readText(logFile));
    ASSERT_EQ(1u, lines.size());
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLogLine));
    EXPECT_EQ("second", m[3].str());
}

TEST(UIGatewayLog, LinesOfSeveralThreadsNeverMix) {
    TempDir dir;
    const std::string logFile = dir / "log.txt";
    UIGateway ui;
    ui.setLogFile(logFile.c_str());
    const int kThreads = 4, kLines = 200;
    const std::string filler(300, 'x');
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kLines; i++) ui.log("thread %d line %d %s", t, i, filler.c_str());
        });
    for (std::thread& th : threads) th.join();

    std::vector<std::string> lines = splitLines(readText(logFile));
    ASSERT_EQ((size_t)(kThreads * kLines), lines.size());
    std::vector<int> next(kThreads, 0);
    for (const std::string& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLogLine)) << line;
        int t = -1, i = -1;
        ASSERT_EQ(2, sscanf(m[3].str().c_str(), "thread %d line %d", &t, &i)) << line;
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(next[t]++, i);
        EXPECT_EQ(filler, m[3].str().substr(m[3].str().size() - filler.size()));
    }
}

TEST(UIGatewayOutput, EachOperationWritesWhatItShould) {
    CapturedUI console;
    UIGateway& ui = console.gateway;
    ui.printLine("line %d", 1);
    ui.print("no end %s", "here");
    ui.debug("hidden %d", 1);
    ui.printFlush("|flushed|");
    ui.setVerbose(true);
    EXPECT_TRUE(ui.isVerbose());
    ui.debug("shown %d", 2);
    ui.setVerbose(false);
    ui.debug("hidden %d", 3);
    ui.printLine("%s", "50% of %d");
    EXPECT_EQ("line 1\nno end here|flushed|shown 250% of %d\n", console.text());
}

TEST(UIGatewayOutput, OnlyPrintLineIsGatheredByThePager) {
    PageViewer pager;
    CapturedUI console(&pager);
    UIGateway& ui = console.gateway;
    ui.setVerbose(true);
    pager.begin();
    ui.printLine("gathered %d", 1);
    ui.print("printed ");
    ui.debug("debugged ");
    ui.printFlush("flushed ");
    ui.printLine("gathered %d", 2);
    EXPECT_EQ("printed debugged flushed ", console.text());

    pager.setKeyReader([] { return ' '; });
    pager.show();
    EXPECT_EQ("printed debugged flushed gathered 1\ngathered 2\n", console.text());
    // Off again: printLine goes straight out.
    ui.printLine("direct");
    EXPECT_EQ("printed debugged flushed gathered 1\ngathered 2\ndirect\n", console.text());
}

TEST(UIGatewayOutput, GatheredLinesAreCutSafely) {
    struct Case {
        std::string line;
        std::string kept;
    };
    const std::string a511(511, 'a');
    const std::string a510(510, 'a');
    const std::string a509(509, 'a');
    const std::string euro = "\xE2\x82\xAC";  // three bytes
    const Case cases[] = {
        {a511, a511},
        {a511 + "b", a511},
        {std::string(2000, 'c'), std::string(511, 'c')},
        {a510 + "\xC3\xA9", a510},                     // two-byte sequence across the cut
        {a509 + euro, a509},                           // three-byte sequence across the cut
        {a509 + "\xC3\xA9" + "z", a509 + "\xC3\xA9"},  // sequence ends at the cut
    };
    for (const Case& c : cases) {
        PageViewer pager;
        CapturedUI console(&pager);
        pager.begin();
        console.gateway.printLine("%s", c.line.c_str());
        pager.show();
        EXPECT_EQ(c.kept + "\n", console.text()) << c.line.size();
    }
}
