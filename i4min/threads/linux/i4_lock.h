// Any thread. Scoped guard: holds the given i4_mutex from construction to destruction.
#ifndef I4_LOCK_H
#define I4_LOCK_H

#include "i4min/threads/linux/i4_mutex.h"

class i4_lock {
public:
    explicit i4_lock(i4_mutex* mutex);
    ~i4_lock();
    i4_lock(const i4_lock&) = delete;
    i4_lock& operator=(const i4_lock&) = delete;

private:
    i4_mutex* mutex;
};

#endif
