// Any thread. Counting semaphore with a timed wait; both counts are guarded by the semaphore's own
// mutex.
#ifndef I4_SEMAPHORE_H
#define I4_SEMAPHORE_H

#include <pthread.h>
#include <time.h>

class i4_semaphore {
public:
    i4_semaphore();
    ~i4_semaphore();
    i4_semaphore(const i4_semaphore&) = delete;
    i4_semaphore& operator=(const i4_semaphore&) = delete;

    // 1 when a signal was taken, 0 on time-out; 0 ms waits without limit, a
    // negative limit only takes a signal that is already pending.
    int wait(int ms);
    // Wakes one waiter, or keeps the signal pending when nobody waits.
    void signal();

    // The absolute deadline of a wait of ms from now, at millisecond resolution.
    static timespec deadline(const timespec& now, int ms);

private:
    pthread_cond_t cond;
    pthread_mutex_t mutex;
    int waiters;
    int pending;
};

#endif
