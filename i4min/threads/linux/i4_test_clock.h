// Tests only, one at a time, made and destroyed on one thread; i4_now_ms and i4_time may be read
// from any thread meanwhile (atomics).
#pragma once

#include <stdint.h>

// Holds the millisecond clock (i4_now_ms) still from the moment it is made, so that a test
// decides how much time passes: step_ms moves it forward. step_wall_ms moves the wall clock
// (i4_time) either way, as a user or a time daemon setting the date would. When the test clock
// goes, the millisecond clock runs on from where it stood, never backwards, and the wall clock
// is put back.
class i4_test_clock {
public:
    i4_test_clock();
    ~i4_test_clock();
    i4_test_clock(const i4_test_clock&) = delete;
    i4_test_clock& operator=(const i4_test_clock&) = delete;

    // ms >= 0; a negative step is ignored, as the clock never goes back.
    void step_ms(int64_t ms);
    void step_wall_ms(int64_t ms);
    int64_t now_ms() const;

    // What the clocks answer: i4_now_ms given its monotonic source, and the shift of i4_time.
    static int64_t adjust_ms(int64_t sourceMs);
    static int64_t wall_shift_ms();

private:
    int64_t wallShift;
};
