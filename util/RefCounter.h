// Threads: any; the count is atomic, so owners on different threads may add
// and release references without a common lock.
#pragma once

#include <atomic>

// Base of objects that several owners share. Made with count 0: one release
// deletes it; each addRef is given back by one release.
class RefCounter {
public:
    RefCounter() : count(0) {}
    virtual ~RefCounter() {}

    virtual RefCounter* addRef();
    // 1 when this call deleted the object, else 0.
    virtual int release();

    int refCount() const { return count.load(); }

private:
    RefCounter(const RefCounter&) = delete;
    RefCounter& operator=(const RefCounter&) = delete;

    std::atomic<int> count;
};
