// Any thread. Detached threads with a count of the live ones; starts are serialised by the hand-off
// semaphore.
#ifndef I4_THREAD_H
#define I4_THREAD_H

#include <pthread.h>
#include <stdint.h>

typedef void (*i4_thread_func_type)(void* arg);
typedef pthread_t i4_thread_id;

// Starts a detached thread that runs fn(arg) and counts it as live until fn
// returns. An i4_err or any other exception escaping fn ends the whole process
// with status 1. The stack size is not used. 0, or the platform's error code
// when no thread could be made (the failure is printed and undone).
int i4_add_thread(i4_thread_func_type fn, int stack_size, void* arg);
// Sleeps until no thread started by i4_add_thread is live.
void i4_wait_threads();
// Threads started by i4_add_thread that have not yet returned.
int i4_live_threads();
int i4_threads_available();

i4_thread_id i4_get_thread_id();
i4_thread_id i4_get_main_thread();
// The program entry records the main thread before anything else runs.
void i4_set_main_thread(i4_thread_id id);

void i4_yield();
void i4_sleep(int seconds);
void i4_sleep_ms(int64_t ms);

#endif
