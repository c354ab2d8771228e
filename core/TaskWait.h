// waitForWork: the core task thread only, between passes. wake: any thread.
#pragma once

// Where a task thread sleeps between passes: the socket pool's readiness wait, so that the
// thread sleeps in one place only and a socket becoming ready ends the sleep like any other
// work does.
class TaskWait {
public:
    virtual ~TaskWait() {}
    // Sleeps at most ms (0: only looks) or until woken.
    virtual void waitForWork(int ms) = 0;
    // Ends a waitForWork in progress at once, or the next one when none is.
    virtual void wake() = 0;
};
