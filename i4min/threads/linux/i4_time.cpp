#include "i4min/threads/linux/i4_time.h"

#include <atomic>
#include <sys/time.h>
#include <time.h>

#include "i4min/threads/linux/i4_test_clock.h"

int64_t i4_now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return i4_test_clock::adjust_ms(static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

i4_time::i4_time() {
    now();
}

i4_time::i4_time(int64_t s, int32_t us) : seconds(s), microseconds(us) {}

void i4_time::now() {
    timeval tv;
    gettimeofday(&tv, nullptr);
    seconds = tv.tv_sec;
    microseconds = (int32_t)tv.tv_usec;
    if (int64_t shift = i4_test_clock::wall_shift_ms()) add_ms(shift);
}

int64_t i4_time::diff_ms(const i4_time& a, const i4_time& b) {
    return (int64_t)(a.microseconds - b.microseconds) / 1000 + (a.seconds - b.seconds) * 1000;
}

void i4_time::add_ms(int64_t ms) {
    int64_t us = (int64_t)microseconds + (ms % 1000) * 1000;
    seconds += ms / 1000;
    if (us < 0) {
        us += 1000000;
        seconds--;
    } else if (us >= 1000000) {
        us -= 1000000;
        seconds++;
    }
    microseconds = (int32_t)us;
}

void i4_time::set_ms(int64_t ms) {
    seconds = ms / 1000;
    microseconds = (int32_t)((ms % 1000) * 1000);
}

bool i4_time::operator<(const i4_time& o) const {
    return seconds < o.seconds || (seconds == o.seconds && microseconds < o.microseconds);
}

bool i4_time::operator<=(const i4_time& o) const {
    return !(o < *this);
}

bool i4_time::operator>(const i4_time& o) const {
    return o < *this;
}

bool i4_time::operator>=(const i4_time& o) const {
    return !(*this < o);
}

int64_t i4_clock() {
    return (int64_t)clock();
}

int64_t i4_clocks_per_second() {
    static std::atomic<int64_t> calibration(-1);
    int64_t known = calibration.load();
    if (known >= 0) return known;
    i4_time start;
    int64_t first = i4_clock();
    for (;;) {
        i4_time t;
        if (i4_time::diff_ms(t, start) >= 1000) break;
    }
    int64_t ticks = i4_clock() - first;
    calibration.store(ticks);
    return ticks;
}
