// Test helpers for faults that need a process of their own: run one test again
// in a fresh copy of the test program, and measure the address space in use.
#pragma once

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

// Bytes of address space this process holds now.
inline long long addressSpaceInUse() {
    FILE* statm = fopen("/proc/self/statm", "r");
    long long pages = 0;
    if (statm) {
        if (fscanf(statm, "%lld", &pages) != 1) pages = 0;
        fclose(statm);
    }
    return pages * sysconf(_SC_PAGESIZE);
}

// Runs the current test again in a fresh copy of this program with the
// environment variable set, and expects the copy to pass. A forked copy would
// still hold what earlier tests left behind (thread stacks, ready for reuse).
inline void expectPassInFreshCopy(const char* variable) {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
    pid_t child = fork();
    ASSERT_NE(-1, child);
    if (child == 0) {
        setenv(variable, "1", 1);
        execl("/proc/self/exe", "fresh-copy", filter.c_str(), (char*)nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
}
