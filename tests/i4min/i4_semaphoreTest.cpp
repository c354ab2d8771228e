#include <atomic>
#include <gtest/gtest.h>

#include "i4min/threads/linux/i4_semaphore.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

TEST(Semaphore, DeadlineHasMillisecondResolution) {
    struct Case {
        long sec, nsec;
        int ms;
        long wantSec, wantNsec;
    };
    const Case cases[] = {
        {10, 750000000, 250, 11, 0},
        {10, 749000000, 250, 10, 999000000},
        {10, 749999999, 250, 10, 999000000},  // below a millisecond is dropped
        {10, 0, 1500, 11, 500000000},
        {10, 999999999, 1, 11, 0},
        {10, 500000000, 86400000, 86410, 500000000},
    };
    for (const Case& c : cases) {
        timespec now = {};
        now.tv_sec = c.sec;
        now.tv_nsec = c.nsec;
        timespec d = i4_semaphore::deadline(now, c.ms);
        EXPECT_EQ(c.wantSec, (long)d.tv_sec) << c.sec << "." << c.nsec << " + " << c.ms;
        EXPECT_EQ(c.wantNsec, (long)d.tv_nsec) << c.sec << "." << c.nsec << " + " << c.ms;
    }
}

TEST(Semaphore, SignalBeforeWaitPassesExactlyOnce) {
    i4_semaphore s;
    s.signal();
    EXPECT_EQ(1, s.wait(100000));
    EXPECT_EQ(0, s.wait(20));
}

TEST(Semaphore, EachPendingSignalLetsOneWaitThrough) {
    i4_semaphore s;
    s.signal();
    s.signal();
    EXPECT_EQ(1, s.wait(0));
    EXPECT_EQ(1, s.wait(20));
    EXPECT_EQ(0, s.wait(20));
    EXPECT_EQ(0, s.wait(-1));
}

TEST(Semaphore, TimedWaitTimesOutAfterItsLimit) {
    i4_semaphore s;
    i4_time start;
    EXPECT_EQ(0, s.wait(150));
    int64_t waited = i4_time::diff_ms(i4_time(), start);
    // The deadline drops the sub-millisecond part of the start.
    EXPECT_GE(waited, 149);
    EXPECT_LT(waited, 10000);
}

struct Pair {
    i4_semaphore go;
    i4_semaphore done;
    std::atomic<int> result{-1};
    int limit = 0;
};

void waitOnGo(void* arg) {
    Pair* p = static_cast<Pair*>(arg);
    p->done.signal();
    p->result = p->go.wait(p->limit);
    p->done.signal();
}

TEST(Semaphore, WaitReturnsOnSignalFromAnotherThread) {
    for (int limit : {0, 60000}) {
        Pair p;
        p.limit = limit;
        i4_add_thread(waitOnGo, 51200, &p);
        ASSERT_EQ(1, p.done.wait(60000));
        i4_sleep_ms(20);  // most likely inside the wait by now; either way it must pass
        i4_time start;
        p.go.signal();
        ASSERT_EQ(1, p.done.wait(60000));
        EXPECT_EQ(1, p.result.load()) << "limit " << limit;
        EXPECT_LT(i4_time::diff_ms(i4_time(), start), 30000) << "limit " << limit;
        i4_wait_threads();
    }
}

// Signals racing with time-outs must neither be lost nor counted twice.
struct Race {
    i4_semaphore sem;
    std::atomic<int> taken{0};
    std::atomic<bool> stop{false};
};

void takeWithShortWaits(void* arg) {
    Race* r = static_cast<Race*>(arg);
    while (!r->stop) {
        if (r->sem.wait(1)) r->taken++;
    }
}

TEST(Semaphore, NoSignalIsLostWhenTimeOutsRaceWithIt) {
    const int signals = 3000;
    Race r;
    for (int i = 0; i < 3; i++) i4_add_thread(takeWithShortWaits, 51200, &r);
    for (int i = 0; i < signals; i++) {
        r.sem.signal();
        if (i % 64 == 0) i4_yield();
    }
    for (int i = 0; i < 3000 && r.taken.load() < signals; i++) i4_sleep_ms(10);
    r.stop = true;
    i4_wait_threads();
    EXPECT_EQ(signals, r.taken.load());
    EXPECT_EQ(0, r.sem.wait(-1));
}

TEST(Semaphore, SignalledOnceItServesAsALock) {
    struct Guarded {
        i4_semaphore lock;
        int64_t counter = 0;
    } g;
    g.lock.signal();
    auto body = [](void* arg) {
        Guarded* g = static_cast<Guarded*>(arg);
        for (int i = 0; i < 5000; i++) {
            g->lock.wait(0);
            g->counter = g->counter + 1;
            g->lock.signal();
        }
    };
    for (int i = 0; i < 4; i++) i4_add_thread(body, 51200, &g);
    i4_wait_threads();
    EXPECT_EQ(20000, g.counter);
}

}  // namespace
