// Any thread. Scoped guard: holds a lock from construction to destruction. One guard serves
// every lock with lock() and unlock(): an i4_mutex, an LLsafe's list, a download's lock.
#ifndef I4_LOCK_H
#define I4_LOCK_H

#include "i4min/threads/linux/i4_mutex.h"

// Says the caller already holds the lock, taken by a try with a time limit: the guard
// only gives it back.
struct i4_adopt_lock_t {};
inline constexpr i4_adopt_lock_t i4_adopt_lock{};

template <class Lockable = i4_mutex>
class i4_lock {
public:
    explicit i4_lock(Lockable* lockable) : held(lockable) { held->lock(); }
    i4_lock(Lockable* lockable, i4_adopt_lock_t) : held(lockable) {}
    ~i4_lock() { held->unlock(); }
    i4_lock(const i4_lock&) = delete;
    i4_lock& operator=(const i4_lock&) = delete;

private:
    Lockable* held;
};

#endif
