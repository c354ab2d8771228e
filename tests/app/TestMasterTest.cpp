#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/selftest/Hash32Test.h"
#include "app/selftest/IterTest.h"
#include "app/selftest/LLTest.h"
#include "app/selftest/StristrTest.h"
#include "app/selftest/StrtokTest.h"
#include "app/selftest/TestBoolArray.h"
#include "app/selftest/TestMaster.h"
#include "app/selftest/TestMeta.h"
#include "app/selftest/UniqueIDTest.h"
#include "core/UIGateway.h"
#include "support/CapturedUI.h"

namespace {

std::vector<std::string> events;

// Prints its title, records that it ran and when it was freed, and gives the
// verdict it was made with.
struct ScriptedTest : ::Test {
    ScriptedTest(const char* title_, bool passes_) : title(title_), passes(passes_) {}
    ~ScriptedTest() override { events.push_back(std::string("freed ") + title); }
    bool run() override {
        theUI->printLine("%s", title);
        events.push_back(std::string("ran ") + title);
        return passes;
    }
    const char* title;
    bool passes;
};

TEST(TestMaster, StopsAtTheFirstFailureAndFreesEveryTest) {
    CapturedUI ui;
    events.clear();
    {
        TestMaster master;
        master.addTest(new ScriptedTest(" one:", true));
        master.addTest(new ScriptedTest(" two:", false));
        master.addTest(new ScriptedTest(" three:", true));
        EXPECT_FALSE(master.runAll());
    }
    EXPECT_EQ(" one:\n two:\nERRORS ::::--- FIX NOW\n", ui.text());
    EXPECT_EQ((std::vector<std::string>{
                  "ran  one:", "ran  two:", "freed  one:", "freed  two:", "freed  three:"}),
              events);
}

TEST(TestMaster, GoesWhenEveryTestPasses) {
    CapturedUI ui;
    events.clear();
    TestMaster master;
    EXPECT_TRUE(master.runAll());
    master.addTest(new ScriptedTest(" one:", true));
    master.addTest(new ScriptedTest(" two:", true));
    EXPECT_TRUE(master.runAll());
    EXPECT_EQ("go.\n one:\n two:\ngo.\n", ui.text());
}

// Each base test passes on this build and prints its title first (all but the
// record test, which has none).
TEST(TestMaster, EveryBaseTestPassesUnderItsTitle) {
    CapturedUI ui;
    Hash32Test hash;
    StrtokTest strtok;
    StristrTest stristr;
    TestMeta meta;
    TestBoolArray bits;
    LLTest list;
    IterTest iter;
    UniqueIDTest id;
    const struct {
        ::Test* test;
        const char* title;
    } cases[] = {
        {&hash, " HashTable32 test:\n"},  {&strtok, " i4_strtok test:\n"},
        {&stristr, " stristr test:\n"},   {&meta, ""},
        {&bits, " BoolArray test:\n"},    {&list, " LL test:\n"},
        {&iter, " ListIterator test:\n"}, {&id, " UniqueID test:\n"},
    };
    for (const auto& c : cases) {
        ui.out.clear();
        EXPECT_TRUE(c.test->run()) << c.title;
        std::string out = ui.text();
        EXPECT_EQ(c.title, out.substr(0, strlen(c.title))) << "then " << out;
        // Again: the tests keep nothing between runs, and random keys differ.
        EXPECT_TRUE(c.test->run()) << c.title;
    }
}

// The list test shows its letters as it goes: in their order, shuffled twice,
// sorted at the end.
TEST(TestMaster, ListTestPrintsTheLettersItSorts) {
    CapturedUI ui;
    LLTest list;
    ASSERT_TRUE(list.run());
    const std::string letters = "a a a b b b b c d e e e e e e f g ";
    std::vector<std::string> lines;
    std::string out = ui.text();
    for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(out.substr(at, end - at));
    ASSERT_EQ(5u, lines.size()) << out;
    EXPECT_EQ(" LL test:", lines[0]);
    EXPECT_EQ(letters, lines[1]);
    for (int shuffled : {2, 3}) {
        std::string sorted = lines[shuffled];
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::string(17, ' ') + "aaabbbbcdeeeeeefg", sorted) << lines[shuffled];
    }
    EXPECT_EQ(letters, lines[4]);
}

}  // namespace
