#include <atomic>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include "i4min/main/i4_console_input.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "i4min/threads/linux/i4_semaphore.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

// Death tests fork while other threads may exist: re-run the binary instead.
class ThreadsDeathTest : public ::testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// What the process prints goes to standard output; death tests read stderr.
void stdoutToStderr() {
    fflush(stdout);
    dup2(2, 1);
}

void throwDiskFull(void*) {
    throw i4_err("disk full");
}

void throwOther(void*) {
    throw 42;
}

void runThenIdle(i4_thread_func_type fn) {
    stdoutToStderr();
    i4_add_thread(fn, 51200, nullptr);
    // The failing thread ends the process; this only bounds the wait, generously: a loaded
    // machine may start the thread late.
    for (int i = 0; i < 6000; i++) i4_sleep_ms(10);
    exit(0);
}

TEST_F(ThreadsDeathTest, ThreadThatThrowsEndsTheProcessWithStatusOne) {
    EXPECT_EXIT(runThenIdle(throwDiskFull), ::testing::ExitedWithCode(1),
                "Thread error : disk full\n");
    EXPECT_EXIT(runThenIdle(throwOther), ::testing::ExitedWithCode(1), "Thread unkown error\n");
}

void throwAfterAWhile(void*) {
    i4_sleep_ms(100);  // long enough for the main thread to block on its input
    throw i4_err("disk full");
}

// The console waits for a line while a thread fails: the process must end
// at once, not when the next line arrives.
void failWhileReadingInput() {
    stdoutToStderr();
    int fds[2];
    if (pipe(fds) != 0) exit(4);
    dup2(fds[0], 0);  // no line ever arrives: the write end stays open
    signal(SIGALRM, SIG_DFL);
    alarm(20);  // a hang ends here rather than never
    i4_add_thread(throwAfterAWhile, 51200, nullptr);
    char buf[64];
    readLine(buf, sizeof buf, stdin);
    exit(0);
}

TEST_F(ThreadsDeathTest, ThreadErrorEndsTheProcessWhileInputIsAwaited) {
    EXPECT_EXIT(failWhileReadingInput(), ::testing::ExitedWithCode(1),
                "Thread error : disk full\n");
}

void addOne(void* arg) {
    static_cast<std::atomic<int>*>(arg)->fetch_add(1);
}

void startTwenty(void* arg) {
    for (int i = 0; i < 20; i++) i4_add_thread(addOne, 51200, arg);
}

TEST(Threads, LiveCountFollowsStartsFromSeveralThreads) {
    std::atomic<int> runs(0);
    for (int i = 0; i < 5; i++) i4_add_thread(startTwenty, 51200, &runs);
    i4_wait_threads();
    EXPECT_EQ(100, runs.load());
    EXPECT_EQ(0, i4_live_threads());
}

TEST(Threads, WaitReturnsAtOnceWithoutLiveThreads) {
    ASSERT_EQ(0, i4_live_threads());
    i4_wait_threads();
    EXPECT_EQ(0, i4_live_threads());
}

// A stack no address space can hold makes the thread creation fail.
int startWithImpossibleStack(std::atomic<int>* runs) {
    pthread_attr_t saved;
    pthread_getattr_default_np(&saved);
    pthread_attr_t huge;
    pthread_attr_init(&huge);
    pthread_attr_setstacksize(&huge, ~(size_t)0 & ~(size_t)0xFFFFF);
    pthread_setattr_default_np(&huge);
    i4_add_thread(addOne, 51200, runs);
    pthread_setattr_default_np(&saved);
    pthread_attr_destroy(&huge);
    pthread_attr_destroy(&saved);
    return i4_live_threads();
}

TEST_F(ThreadsDeathTest, FailedCreateUndoesItsBookkeeping) {
    EXPECT_EXIT(
        {
            stdoutToStderr();
            std::atomic<int> runs(0);
            int liveAfterFailure = startWithImpossibleStack(&runs);
            // The hand-off must be free again, or this start would hang.
            i4_add_thread(addOne, 51200, &runs);
            i4_wait_threads();
            exit(liveAfterFailure == 0 && runs.load() == 1 ? 0 : 3);
        },
        ::testing::ExitedWithCode(0), "pthread_create error [0-9]+\n");
}

TEST(Threads, MutexGuardsACounterAcrossThreads) {
    struct Shared {
        i4_mutex mutex;
        int64_t counter = 0;
    } shared;
    auto body = [](void* arg) {
        Shared* s = static_cast<Shared*>(arg);
        for (int i = 0; i < 20000; i++) {
            i4_lock hold(&s->mutex);
            s->counter = s->counter + 1;
        }
    };
    for (int i = 0; i < 4; i++) i4_add_thread(body, 51200, &shared);
    i4_wait_threads();
    EXPECT_EQ(80000, shared.counter);
}

TEST(Threads, SleepIsNotCutShortBySignals) {
    struct sigaction act = {};
    act.sa_handler = [](int) {};
    struct sigaction old;
    sigaction(SIGUSR1, &act, &old);
    struct Sleeper {
        std::atomic<bool> started{false};
        std::atomic<int64_t> sleptMs{0};
        pthread_t id;
    } sleeper;
    pthread_create(
        &sleeper.id, nullptr,
        [](void* arg) -> void* {
            Sleeper* s = static_cast<Sleeper*>(arg);
            s->started = true;
            i4_time start;
            i4_sleep_ms(300);
            s->sleptMs = i4_time::diff_ms(i4_time(), start);
            return nullptr;
        },
        &sleeper);
    for (int i = 0; i < 10000 && !sleeper.started; i++) i4_sleep_ms(1);
    for (int i = 0; i < 5; i++) {
        i4_sleep_ms(20);
        pthread_kill(sleeper.id, SIGUSR1);
    }
    pthread_join(sleeper.id, nullptr);
    sigaction(SIGUSR1, &old, nullptr);
    EXPECT_GE(sleeper.sleptMs.load(), 299);
}

}  // namespace
