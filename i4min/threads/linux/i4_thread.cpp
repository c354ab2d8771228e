#include "i4min/threads/linux/i4_thread.h"

#include <atomic>
#include <condition_variable>
#include <errno.h>
#include <mutex>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "i4min/string/i4_err.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_semaphore.h"

namespace {

std::atomic<int> liveThreads(0);

// i4_wait_threads sleeps on this until the count reaches 0. Never destroyed: a detached thread
// may still end after exit has begun.
struct LiveCount {
    std::mutex lock;
    std::condition_variable none;
};
LiveCount& liveCount() {
    static LiveCount* c = new LiveCount;
    return *c;
}

void threadEnded() {
    LiveCount& c = liveCount();
    i4_lock hold(&c.lock);
    if (--liveThreads == 0) c.none.notify_all();
}

// Hand-off of the entry function to the thread being started. The starter
// takes the semaphore and the new thread gives it back once it has read its
// entry, so it is a lock released by another thread than its holder.
i4_thread_func_type handOffSlot = nullptr;

i4_semaphore& handOffLock() {
    static i4_semaphore* lock = [] {
        i4_semaphore* s = new i4_semaphore;
        s->signal();
        return s;
    }();
    return *lock;
}

pthread_t mainThread;

[[noreturn]] void endProcess() {
    // Other threads still run: static destructors must not race them. Only
    // standard output is flushed, and only once no thread holds it: flushing
    // every stream would also wait for standard input, which the console holds
    // for as long as it waits for a line.
    for (int i = 0; i < 200; i++) {
        if (ftrylockfile(stdout) == 0) {
            fflush_unlocked(stdout);
            funlockfile(stdout);
            break;
        }
        i4_sleep_ms(1);
    }
    _exit(1);
}

void* i4_thread_trampoline(void* arg) {
    i4_thread_func_type fn = handOffSlot;
    handOffLock().signal();
    try {
        fn(arg);
    } catch (const i4_err& e) {
        i4_printf("Thread error : %s\n", e.message());
        endProcess();
    } catch (...) {
        i4_printf("Thread unkown error\n");
        endProcess();
    }
    threadEnded();
    return nullptr;
}

}  // namespace

int i4_add_thread(i4_thread_func_type fn, int, void* arg) {
    liveThreads++;
    handOffLock().wait(0);
    handOffSlot = fn;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    int rc = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (rc != 0) i4_printf("pthread_attr_setdetachstate error %d\n", rc);
    pthread_t id;
    rc = pthread_create(&id, &attr, i4_thread_trampoline, arg);
    if (rc != 0) {
        i4_printf("pthread_create error %d\n", rc);
        // No thread will give the hand-off back or lower the count: undo both,
        // or every later start and the wait at shut-down would hang.
        handOffSlot = nullptr;
        handOffLock().signal();
        threadEnded();
    }
    pthread_attr_destroy(&attr);
    return rc;
}

void i4_wait_threads() {
    LiveCount& c = liveCount();
    std::unique_lock<std::mutex> hold(c.lock);
    c.none.wait(hold, [] { return liveThreads.load() <= 0; });
}

int i4_live_threads() {
    return liveThreads.load();
}

int i4_threads_available() {
    return 1;
}

i4_thread_id i4_get_thread_id() {
    return pthread_self();
}

i4_thread_id i4_get_main_thread() {
    return mainThread;
}

void i4_set_main_thread(i4_thread_id id) {
    mainThread = id;
}

void i4_yield() {
    sched_yield();
}

void i4_sleep(int seconds) {
    i4_sleep_ms((int64_t)seconds * 1000);
}

void i4_sleep_ms(int64_t ms) {
    if (ms <= 0) return;
    timespec t;
    t.tv_sec = (time_t)(ms / 1000);
    t.tv_nsec = (long)(ms % 1000) * 1000000;
    // A signal sent to cancel a blocking socket call must not cut a sleep short.
    while (nanosleep(&t, &t) != 0 && errno == EINTR) {
    }
}
