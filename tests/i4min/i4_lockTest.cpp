#include <gtest/gtest.h>
#include <string>

#include "i4min/threads/linux/i4_lock.h"

namespace {

// Records what the guard does to it, in order.
struct Recorder {
    std::string calls;
    void lock() { calls += "L"; }
    void unlock() { calls += "U"; }
};

TEST(i4_lock, HoldsAnyLockForItsScopeOnly) {
    Recorder r;
    {
        i4_lock hold(&r);
        EXPECT_EQ(r.calls, "L");
    }
    EXPECT_EQ(r.calls, "LU");
}

TEST(i4_lock, AnAdoptedLockIsOnlyGivenBack) {
    Recorder r;
    r.lock();
    {
        i4_lock hold(&r, i4_adopt_lock);
        EXPECT_EQ(r.calls, "L");
    }
    EXPECT_EQ(r.calls, "LU");
}

}  // namespace
