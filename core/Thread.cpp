#include "core/Thread.h"

#include "i4min/threads/linux/i4_thread.h"

namespace {
const int kStackSize = 51200;
const int kStopPollMs = 200;
}  // namespace

Thread::Thread() : state(NOT_RUNNING), stoppedByStop(false) {}

Thread::~Thread() {}

void Thread::onStart() {}

void Thread::onFinish() {}

void Thread::start() {
    bool launch = false;
    {
        i4_lock guard(&lock);
        if (state == NOT_RUNNING)
            launch = true;
        else if (state != STOP_REQUESTED)
            return;
        // In STOP_REQUESTED the old platform thread has not left its loop
        // yet; it simply carries on.
        state = RUNNING;
        stoppedByStop = false;
    }
    if (launch && i4_add_thread(&Thread::body, kStackSize, this) != 0) {
        // Nothing will ever set NOT_RUNNING for us, and stop would wait forever.
        i4_lock guard(&lock);
        state = NOT_RUNNING;
    }
}

void Thread::requestStop() {
    i4_lock guard(&lock);
    state = STOP_REQUESTED;
}

void Thread::stop() {
    {
        i4_lock guard(&lock);
        if (state != RUNNING) return;
        stoppedByStop = true;
        state = STOP_REQUESTED;
    }
    while (state.load() != NOT_RUNNING) i4_sleep_ms(kStopPollMs);
    // The body sets NOT_RUNNING with the lock held; wait for it to let go
    // before the caller may destroy us.
    i4_lock guard(&lock);
}

void Thread::setPriority(int) {
    // Linux threads keep the scheduler's default priority.
}

void Thread::body(void* self) {
    Thread* t = static_cast<Thread*>(self);
    t->onStart();
    bool finish = false;
    for (;;) {
        t->run();
        i4_lock guard(&t->lock);
        if (t->state != RUNNING) {
            finish = !t->stoppedByStop;
            t->state = NOT_RUNNING;
            break;
        }
    }
    // After a stop the owner may already be destroying us: touch nothing.
    if (finish) t->onFinish();
}
