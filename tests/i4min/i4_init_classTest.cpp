#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "i4min/init/i4_init_class.h"
#include "i4min/init/i4_thread_init_class.h"

namespace {

std::vector<std::string> happened;

class Recorder : public i4_init_class {
public:
    Recorder(const char* n, int p) : name(n), pass(p) {}
    int init_type() override { return pass; }
    void init() override { happened.push_back("init " + name + (i4_is_initialised() ? "+" : "-")); }
    void uninit() override { happened.push_back("uninit " + name); }

private:
    std::string name;
    int pass;
};

class ThreadRecorder : public i4_thread_init_class {
public:
    explicit ThreadRecorder(const char* n) : name(n) {}
    void init() override { happened.push_back("init " + name); }
    void uninit() override { happened.push_back("uninit " + name); }
    void thread_init() override { happened.push_back("thread_init " + name); }
    void thread_uninit() override { happened.push_back("thread_uninit " + name); }

private:
    std::string name;
};

TEST(InitPasses, RunInPassOrderNewestFirstAndOnlyPassesZeroToNine) {
    happened.clear();
    Recorder late("late", 9);
    Recorder a("a3", 3);
    Recorder b("b0", 0);
    ThreadRecorder t("t");
    Recorder c("c3", 3);
    Recorder never("never", 12);
    Recorder negative("negative", -1);
    Recorder ten("ten", 10);
    {
        Recorder gone("gone", 5);  // unregistered again before the passes run
    }

    i4_init();
    // The flag turns on after pass 0 has run; "+" marks an init that saw it.
    const std::vector<std::string> wantInit = {"init b0-", "init t",     "init c3+",
                                               "init a3+", "init late+", "thread_init t"};
    EXPECT_EQ(wantInit, happened);
    EXPECT_EQ(1, i4_is_initialised());

    happened.clear();
    i4_uninit();
    const std::vector<std::string> wantUninit = {"thread_uninit t", "uninit late", "uninit c3",
                                                 "uninit a3",       "uninit t",    "uninit b0"};
    EXPECT_EQ(wantUninit, happened);
    EXPECT_EQ(0, i4_is_initialised());
}

TEST(InitPasses, DestroyedObjectsLeaveTheRegistries) {
    happened.clear();
    Recorder keep("keep", 2);
    {
        ThreadRecorder t1("t1");
        Recorder r("r", 4);
        ThreadRecorder t2("t2");
    }
    i4_init();
    i4_uninit();
    const std::vector<std::string> want = {"init keep+", "uninit keep"};
    EXPECT_EQ(want, happened);
}

}  // namespace
