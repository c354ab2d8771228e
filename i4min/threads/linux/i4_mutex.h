// Any thread. A plain POSIX mutex: not recursive, so a thread that locks it twice deadlocks.
#ifndef I4_MUTEX_H
#define I4_MUTEX_H

#include <pthread.h>

class i4_mutex {
public:
    i4_mutex();
    ~i4_mutex();
    i4_mutex(const i4_mutex&) = delete;
    i4_mutex& operator=(const i4_mutex&) = delete;

    void lock();
    void unlock();

private:
    pthread_mutex_t mutex;
};

#endif
