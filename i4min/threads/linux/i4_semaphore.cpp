#include "i4min/threads/linux/i4_semaphore.h"

#include <errno.h>

i4_semaphore::i4_semaphore() : waiters(0), pending(0) {
    pthread_mutex_init(&mutex, nullptr);
    // Waits are measured on the monotonic clock, so that setting the wall
    // clock neither cuts a wait short nor stretches it.
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&cond, &attr);
    pthread_condattr_destroy(&attr);
}

i4_semaphore::~i4_semaphore() {
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
}

timespec i4_semaphore::deadline(const timespec& now, int ms) {
    long msPart = now.tv_nsec / 1000000 + ms % 1000;
    timespec t;
    t.tv_sec = now.tv_sec + ms / 1000;
    if (msPart >= 1000) {
        t.tv_sec++;
        msPart -= 1000;
    }
    t.tv_nsec = msPart * 1000000;
    return t;
}

int i4_semaphore::wait(int ms) {
    pthread_mutex_lock(&mutex);
    if (ms == 0) {
        // Re-check after every wake-up: a spurious one is not a signal.
        while (pending == 0) {
            waiters++;
            pthread_cond_wait(&cond, &mutex);
            waiters--;
        }
    } else if (ms > 0) {
        timespec now;
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec until = deadline(now, ms);
        while (pending == 0) {
            waiters++;
            int rc = pthread_cond_timedwait(&cond, &mutex, &until);
            waiters--;
            if (rc == ETIMEDOUT) break;
        }
    }
    // A signal that arrived together with the time-out is still taken here,
    // so it is never lost.
    int taken = 0;
    if (pending > 0) {
        pending--;
        taken = 1;
    }
    pthread_mutex_unlock(&mutex);
    return taken;
}

void i4_semaphore::signal() {
    pthread_mutex_lock(&mutex);
    pending++;
    bool wake = waiters > 0;
    pthread_mutex_unlock(&mutex);
    if (wake) pthread_cond_signal(&cond);
}
