#include "i4min/threads/linux/i4_test_clock.h"

#include <atomic>
#include <time.h>

#include "i4min/threads/linux/i4_time.h"

namespace {

// While a test clock holds the clock, its value; -1 otherwise.
std::atomic<int64_t> heldAt(-1);
// Added to the monotonic source, so that the clock does not go back when a test clock that
// was stepped ahead lets go.
std::atomic<int64_t> shiftMs(0);
std::atomic<int64_t> wallShiftMs(0);

int64_t sourceMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

int64_t i4_test_clock::adjust_ms(int64_t sourceMs) {
    int64_t held = heldAt.load();
    return held >= 0 ? held : sourceMs + shiftMs.load();
}

int64_t i4_test_clock::wall_shift_ms() {
    return wallShiftMs.load();
}

i4_test_clock::i4_test_clock() : wallShift(0) {
    heldAt.store(i4_now_ms());
}

i4_test_clock::~i4_test_clock() {
    // The shift is in place before the hold ends, so no reader sees the clock go back.
    int64_t stood = heldAt.load();
    int64_t source = sourceMs();
    if (stood > source + shiftMs.load()) shiftMs.store(stood - source);
    heldAt.store(-1);
    wallShiftMs -= wallShift;
}

void i4_test_clock::step_ms(int64_t ms) {
    if (ms > 0) heldAt += ms;
}

void i4_test_clock::step_wall_ms(int64_t ms) {
    wallShift += ms;
    wallShiftMs += ms;
}

int64_t i4_test_clock::now_ms() const {
    return heldAt.load();
}
