// Called on the core task thread only; holds no state of its own.
#pragma once

// A piece of periodic work that the core task thread calls once per pass.
class TimeSliceTask {
public:
    virtual ~TimeSliceTask() {}
    // elapsedMs: milliseconds since the previous pass. Returns true when the
    // task did some work, so that the thread comes back sooner.
    virtual bool run(int elapsedMs) = 0;
    // Milliseconds until the task's next timer is due, asked right after each run; negative
    // when it has none. An idle thread waits no longer than the soonest of them.
    virtual int nextDueMs() { return -1; }
};
