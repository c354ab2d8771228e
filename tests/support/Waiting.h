// How tests wait for an event: they check for it again and again, doing a pass of work (or
// a short pause) in between, until it is there or a generous deadline went by. The deadline
// costs a passing test nothing, since the wait ends with the event; it only bounds a
// failing one. A loaded machine under the sanitizers can be a hundred times slower than an
// idle one, so no deadline is tuned to how fast the event usually comes.
//
// The deadline runs on the system's steady clock, which a test's i4_test_clock does not
// hold. Any thread may wait.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

// The deadline of a wait for what must come.
constexpr int EVENT_WAIT_MS = 60000;

// Runs pass() until done() holds; false if it still does not after limitMs.
inline bool passUntil(const std::function<bool()>& done, const std::function<void()>& pass,
                      int limitMs = EVENT_WAIT_MS) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return false;
        pass();
    }
    return true;
}

// Checks done() every few milliseconds until it holds; false if it still does not after
// limitMs. For events of another thread or process.
inline bool waitUntil(const std::function<bool()>& done, int limitMs = EVENT_WAIT_MS) {
    return passUntil(
        done, [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); }, limitMs);
}
