#include <atomic>
#include <chrono>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/Thread.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"
#include "support/FreshCopy.h"
#include "support/Sanitizers.h"
#include "support/Waiting.h"

namespace {

struct StepThread : Thread {
    std::atomic<int> started{0};
    std::atomic<int> finished{0};
    std::atomic<int> onStarts{0};
    std::atomic<int> onFinishes{0};
    int stopAfter = -1;  // steps after which the thread stops itself
    int stepMs = 20;

    void onStart() override { ++onStarts; }
    void onFinish() override { ++onFinishes; }
    void run() override {
        ++started;
        i4_sleep_ms(stepMs);
        ++finished;
        if (finished == stopAfter) requestStop();
    }
};

TEST(Thread, StopOnAThreadThatIsNotRunningReturnsAtOnce) {
    StepThread t;
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    t.stop();
    EXPECT_EQ(0, t.started.load());
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
}

// A stop asked of a thread that is not running (never started, or ended) leaves it able to
// start, and a later stop returns.
TEST(Thread, AStopRequestOutsideARunIsForgotten) {
    StepThread t;
    t.requestStop();
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    t.stopAfter = 1;
    t.start();
    // A thread that stopped itself is done with its object only once onFinish has run.
    ASSERT_TRUE(waitUntil([&] { return t.onFinishes.load() == 1; }));
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    EXPECT_EQ(1, t.finished.load());
    t.requestStop();
    t.stop();
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    t.stopAfter = -1;
    t.start();
    ASSERT_TRUE(waitUntil([&] { return t.finished.load() >= 2; }));
    t.stop();
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
}

TEST(Thread, StopWaitsForTheCurrentStepAndSkipsOnFinish) {
    StepThread t;
    t.stepMs = 60;
    t.start();
    ASSERT_TRUE(waitUntil([&] { return t.started > 0; }));
    t.stop();
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    EXPECT_EQ(t.started.load(), t.finished.load());
    EXPECT_EQ(1, t.onStarts.load());
    EXPECT_EQ(0, t.onFinishes.load());
}

// A step that sleeps until woken, as the core task thread does between passes.
struct SleepingThread : Thread {
    void run() override {
        std::unique_lock<std::mutex> hold(lock);
        steps++;
        if (woken.wait_for(hold, std::chrono::seconds(60), [this] { return wakeAsked; })) wakes++;
        wakeAsked = false;
    }
    void wake() override {
        std::lock_guard<std::mutex> hold(lock);
        wakeAsked = true;
        woken.notify_all();
    }
    std::mutex lock;
    std::condition_variable woken;
    bool wakeAsked = false;
    std::atomic<int> steps{0};
    std::atomic<int> wakes{0};  // steps that ended by a wake, not by their minute
};

// A stop wakes the step it waits for, instead of waiting out the step's sleep.
TEST(Thread, StopWakesASleepingStep) {
    SleepingThread t;
    t.start();
    ASSERT_TRUE(waitUntil([&] { return t.steps > 0; }));
    t.stop();
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    EXPECT_EQ(t.steps.load(), t.wakes.load()) << "a step waited out its minute";
}

TEST(Thread, AThreadThatStopsItselfCallsOnFinish) {
    StepThread t;
    t.stepMs = 1;
    t.stopAfter = 3;
    t.start();
    ASSERT_TRUE(waitUntil([&] { return t.onFinishes > 0; }));
    EXPECT_EQ(3, t.finished.load());
    EXPECT_EQ(Thread::NOT_RUNNING, t.getState());
    t.stop();  // nothing left to stop
    EXPECT_EQ(1, t.onFinishes.load());
}

struct JoinedThread : StepThread {
    JoinedThread() { setOwnerJoins(); }
};

// The owner frees the thread as soon as stop returns, also when the thread was just
// stopping on its own: under ASan a late touch of the object is a failure.
TEST(Thread, AJoinedThreadIsDoneWithItsObjectWhenStopReturns) {
    for (int i = 0; i < 30; ++i) {
        JoinedThread* t = new JoinedThread;
        t->stepMs = 0;
        t->stopAfter = 1;
        t->start();
        if (i % 2) {
            ASSERT_TRUE(waitUntil([&] { return t->finished > 0; }));
        }
        t->stop();
        EXPECT_EQ(Thread::NOT_RUNNING, t->getState());
        EXPECT_EQ(1, t->finished.load());
        EXPECT_EQ(0, t->onFinishes.load());
        delete t;
    }
}

TEST(Thread, StartsAgainAfterAStop) {
    StepThread t;
    t.stepMs = 1;
    t.start();
    t.start();  // a second start while running makes no second thread
    ASSERT_TRUE(waitUntil([&] { return t.started > 0; }));
    t.stop();
    int before = t.finished;
    t.start();
    ASSERT_TRUE(waitUntil([&] { return t.finished > before; }));
    t.stop();
    EXPECT_EQ(2, t.onStarts.load());
    EXPECT_EQ(0, t.onFinishes.load());
}

const char kNoRoom[] = "TORNAVEL_TEST_NO_ROOM_FOR_THREADS";

// With no address space left for a stack the platform thread cannot be made;
// stop must then return instead of waiting for a thread that never ran. The
// test runs in a fresh copy of this program: a forked one would still hold
// the stacks of earlier threads, ready for reuse.
TEST(Thread, ExhaustsMemoryAndStopReturnsWhenTheThreadCouldNotStart) {
#if TORNAVEL_ASAN
    GTEST_SKIP() << "an address-space limit starves the sanitizer too";
#endif
    if (getenv(kNoRoom)) {
        alarm(20);  // a hang ends this copy by signal
        StepThread* t = new StepThread;
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)addressSpaceInUse() + 64 * 1024;
        ASSERT_EQ(0, setrlimit(RLIMIT_AS, &limit));
        t->start();
        EXPECT_EQ(Thread::NOT_RUNNING, t->getState());
        t->stop();
        EXPECT_EQ(0, t->started.load());
        return;
    }
    expectPassInFreshCopy(kNoRoom);
}

}  // namespace
