// Any thread. A wall-clock time value for dates shown or stored, and the one millisecond clock
// for intervals. Shared state: the cached clock calibration and the test clock's atomics.
#ifndef I4_TIME_H
#define I4_TIME_H

#include <stdint.h>

class i4_time {
public:
    // The current wall-clock time: for dates only, never for intervals (use i4_now_ms).
    i4_time();
    i4_time(int64_t seconds, int32_t microseconds);

    void now();

    // a - b in whole milliseconds, the microsecond part truncated toward zero.
    // 64-bit, so that an uptime of weeks neither wraps nor turns negative.
    static int64_t diff_ms(const i4_time& a, const i4_time& b);

    void add_ms(int64_t ms);
    void set_ms(int64_t ms);

    bool operator<(const i4_time& o) const;
    bool operator<=(const i4_time& o) const;
    bool operator>(const i4_time& o) const;
    bool operator>=(const i4_time& o) const;

    int64_t get_seconds() const { return seconds; }
    int32_t get_microseconds() const { return microseconds; }

private:
    int64_t seconds;
    int32_t microseconds;
};

// The one clock for every interval (task loop, timers, rate samples, time-outs): milliseconds
// from a monotonic source, 64-bit, never set back when the wall clock is. A test clock
// (i4_test_clock) may hold and step it.
int64_t i4_now_ms();

// The processor clock.
int64_t i4_clock();
// Processor clock ticks per second of wall time; the first call measures for one second.
int64_t i4_clocks_per_second();

#endif
