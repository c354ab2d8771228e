#include "core/Thread.h"

#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_thread.h"

namespace {
const int kStackSize = 51200;
}  // namespace

Thread::Thread() : state(NOT_RUNNING), stoppedByStop(false), ownerJoins(false) {}

Thread::~Thread() {}

void Thread::onStart() {}

void Thread::onFinish() {}

void Thread::wake() {}

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
    {
        i4_lock guard(&lock);
        // Only a running loop can be asked to end: a mark on a thread that is not running
        // would make a later start skip the launch and a later stop wait for ever.
        if (state == RUNNING) state = STOP_REQUESTED;
    }
    wake();
}

void Thread::stop() {
    {
        i4_lock guard(&lock);
        if (state == NOT_RUNNING || (state == STOP_REQUESTED && !ownerJoins)) return;
        stoppedByStop = true;
        state = STOP_REQUESTED;
    }
    wake();
    // The body sets NOT_RUNNING and signals with the lock held, and touches nothing after
    // letting go of it: once this returns the caller may destroy us.
    std::unique_lock<std::mutex> hold(lock);
    ended.wait(hold, [this] { return state.load() == NOT_RUNNING; });
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
            finish = !t->stoppedByStop && !t->ownerJoins;
            t->state = NOT_RUNNING;
            t->ended.notify_all();
            break;
        }
    }
    // After a stop the owner may already be destroying us: touch nothing.
    if (finish) t->onFinish();
}
