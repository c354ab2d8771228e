#include <gtest/gtest.h>
#include <set>
#include <stdint.h>
#include <time.h>
#include <vector>

#include "i4min/threads/linux/i4_random.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"
#include "i4min/threads/linux/i4_tls.h"

namespace {

TEST(Time, DiffMsTruncatesTheMicrosecondsAndDoesNotWrap) {
    struct Case {
        int64_t aSec;
        int32_t aUs;
        int64_t bSec;
        int32_t bUs;
        int64_t want;
    };
    const Case cases[] = {
        {10, 999999, 10, 0, 999},
        {11, 0, 10, 999999, 1},
        {10, 0, 11, 0, -1000},
        {10, 0, 10, 999, 0},  // -0.999 ms truncates toward zero
        {10, 500, 10, 0, 0},
        {10 + 30 * 86400, 0, 10, 0, 2592000000LL},  // 30 days: past 2^31 ms
        {(int64_t)1 << 33, 0, 0, 0, ((int64_t)1 << 33) * 1000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.want, i4_time::diff_ms(i4_time(c.aSec, c.aUs), i4_time(c.bSec, c.bUs)))
            << c.aSec << "." << c.aUs << " - " << c.bSec << "." << c.bUs;
    }
}

TEST(Time, AddMsKeepsTheMicrosecondsInRange) {
    struct Case {
        int64_t sec;
        int32_t us;
        int64_t addMs;
        int64_t wantSec;
        int32_t wantUs;
    };
    const Case cases[] = {
        {10, 0, 1500, 11, 500000}, {10, 600000, 500, 11, 100000}, {10, 100000, -200, 9, 900000},
        {10, 0, -1, 9, 999000},    {10, 999999, 0, 10, 999999},   {0, 0, 3000000000LL, 3000000, 0},
    };
    for (const Case& c : cases) {
        i4_time t(c.sec, c.us);
        t.add_ms(c.addMs);
        EXPECT_EQ(c.wantSec, t.get_seconds()) << c.sec << "." << c.us << " + " << c.addMs;
        EXPECT_EQ(c.wantUs, t.get_microseconds()) << c.sec << "." << c.us << " + " << c.addMs;
    }
    i4_time t(0, 0);
    t.set_ms(12345);
    EXPECT_EQ(12, t.get_seconds());
    EXPECT_EQ(345000, t.get_microseconds());
}

TEST(Time, ComparisonsUseSecondsThenMicroseconds) {
    i4_time a(10, 5), b(10, 6), c(9, 999999);
    EXPECT_TRUE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(c < a);
    EXPECT_TRUE(a <= a);
    EXPECT_FALSE(a < a);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(a >= c);
    EXPECT_FALSE(c >= a);
}

TEST(Time, NowMovesForward) {
    i4_time a;
    i4_sleep_ms(20);
    i4_time b;
    EXPECT_GE(i4_time::diff_ms(b, a), 19);
    EXPECT_LT(i4_time::diff_ms(b, a), 60000);
}

TEST(Time, TestClockHoldsStepsAndNeverGoesBack) {
    int64_t ahead;
    {
        i4_test_clock clock;
        int64_t held = i4_now_ms();
        i4_sleep_ms(20);
        EXPECT_EQ(held, i4_now_ms());
        clock.step_ms(3600 * 1000);
        clock.step_ms(-5000);  // ignored: the clock never goes back
        ahead = i4_now_ms();
        EXPECT_EQ(held + 3600 * 1000, ahead);

        i4_time wallBefore;
        clock.step_wall_ms(-3600 * 1000);
        i4_time wallAfter;
        EXPECT_NEAR(-3600 * 1000, i4_time::diff_ms(wallAfter, wallBefore), 1000);
        EXPECT_EQ(ahead, i4_now_ms());
    }
    // Released, the clock runs on from where the test left it, and the date is put back.
    EXPECT_GE(i4_now_ms(), ahead);
    i4_time wall;
    EXPECT_NEAR((double)time(nullptr), (double)wall.get_seconds(), 5);
    int64_t a = i4_now_ms();
    i4_sleep_ms(20);
    EXPECT_GE(i4_now_ms() - a, 19);
}

TEST(Random, StaysInRangeAndReachesEveryValue) {
    i4_random_seed();
    for (int i = 0; i < 1000; i++) {
        EXPECT_EQ(0, i4_random(1));
        EXPECT_EQ(0, i4_random(0));
    }
    std::set<int> letters;
    for (int i = 0; i < 20000 && letters.size() < 25; i++) {
        int r = i4_random(25);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, 25);
        letters.insert('a' + r);
    }
    EXPECT_EQ(25u, letters.size());
    EXPECT_EQ('a', *letters.begin());
    EXPECT_EQ('y', *letters.rbegin());
    int top = 0;
    for (int i = 0; i < 1000; i++) {
        int r = i4_random(59000);
        ASSERT_LT(r, 59000);
        top = r > top ? r : top;
    }
    EXPECT_GT(top, 1000);
    for (int i = 0; i < 1000; i++) {
        int r = i4_random(0x7FFFFFFF);
        ASSERT_GE(r, 0);
    }
}

// Each thread seeds the generator as it starts; the generator is the process's own, so a
// second seed within the same second would restart it and hand out the values already
// handed out (two downloads made one after the other got the same identity).
TEST(Random, ASecondSeedDoesNotRestartTheSequence) {
    i4_random_seed();
    std::vector<int> first, second;
    for (int i = 0; i < 8; i++) first.push_back(i4_random(1 << 30));
    i4_random_seed();
    for (int i = 0; i < 8; i++) second.push_back(i4_random(1 << 30));
    EXPECT_NE(first, second);
}

struct TlsCheck {
    i4_tls_key key;
    void* seenBeforeSet = (void*)1;
    void* seenAfterSet = nullptr;
    int own = 0;
};

void useTls(void* arg) {
    TlsCheck* c = static_cast<TlsCheck*>(arg);
    c->seenBeforeSet = i4_tls_get(c->key);
    i4_tls_set(c->key, &c->own);
    i4_sleep_ms(20);
    c->seenAfterSet = i4_tls_get(c->key);
}

TEST(ThreadLocal, EachThreadSeesOnlyItsOwnValue) {
    i4_tls_key key = i4_tls_create();
    int mine = 0;
    i4_tls_set(key, &mine);
    TlsCheck checks[3];
    for (TlsCheck& c : checks) {
        c.key = key;
        i4_add_thread(useTls, 51200, &c);
    }
    i4_wait_threads();
    for (TlsCheck& c : checks) {
        EXPECT_EQ(nullptr, c.seenBeforeSet);
        EXPECT_EQ(&c.own, c.seenAfterSet);
    }
    EXPECT_EQ(&mine, i4_tls_get(key));
    i4_tls_delete(key);
}

}  // namespace
