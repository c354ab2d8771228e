#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>

#include "i4min/main/i4_main.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_thread.h"

namespace {

class EntryDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

std::vector<std::string> seenArguments;
bool ranOnMainThread = false;

void recordArguments(int, char**) {
    seenArguments.clear();
    for (const i4_string& s : getArguments()) seenArguments.push_back(s.c_str());
    ranOnMainThread = pthread_equal(i4_get_main_thread(), i4_get_thread_id()) != 0;
}

TEST(Entry, CopiesEveryArgumentAndAnswersZeroAfterANormalEnd) {
    struct Case {
        std::vector<const char*> argv;
    };
    const Case cases[] = {{{"tornavel"}}, {{"tornavel", "w5", "-", "s hello world"}}};
    for (const Case& c : cases) {
        std::vector<char*> argv;
        for (const char* a : c.argv) argv.push_back(const_cast<char*>(a));
        argv.push_back(nullptr);
        ranOnMainThread = false;
        EXPECT_EQ(0, i4_main((int)c.argv.size(), argv.data(), recordArguments));
        ASSERT_EQ(c.argv.size(), seenArguments.size());
        for (size_t i = 0; i < c.argv.size(); i++) EXPECT_EQ(c.argv[i], seenArguments[i]);
        EXPECT_TRUE(ranOnMainThread);
    }
}

int reportLine = 0;

void reportDiskFull(int, char**) {
    reportLine = __LINE__ + 1;
    I4_ERROR("disk %s", "full");
}

void throwWithoutReport(int, char**) {
    throw i4_err("never reported");
}

void throwOther(int, char**) {
    throw 7;
}

int runEntry(i4_app_main_type app) {
    char name[] = "tornavel";
    char* argv[] = {name, nullptr};
    return i4_main(1, argv, app);
}

TEST(Entry, EscapedErrorIsPrintedWithItsLocation) {
    testing::internal::CaptureStdout();
    int status = runEntry(reportDiskFull);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, status);
    EXPECT_EQ("Unrecoverable error at " + std::string(__FILE__) + ":" + std::to_string(reportLine) +
                  " : disk full",
              out);
}

// The process's last word goes to standard output; death tests read stderr.
void exitWithEntry(i4_app_main_type app) {
    fflush(stdout);
    dup2(2, 1);
    exit(runEntry(app));
}

TEST_F(EntryDeathTest, ErrorOnTheMainThreadEndsWithStatusOne) {
    EXPECT_EXIT(exitWithEntry(reportDiskFull), ::testing::ExitedWithCode(1),
                "^Unrecoverable error at .*i4_mainTest\\.cpp:[0-9]+ : disk full$");
    // No report ever stored a location on this thread of the fresh child.
    EXPECT_EXIT(exitWithEntry(throwWithoutReport), ::testing::ExitedWithCode(1),
                "^Unrecoverable error$");
    EXPECT_EXIT(exitWithEntry(throwOther), ::testing::ExitedWithCode(1), "^Unrecoverable error$");
}

}  // namespace
