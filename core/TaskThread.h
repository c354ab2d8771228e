// addTask: any thread (addLock guards pendingAdds). removeTask: the thread's
// own tasks, during a pass (addLock also guards pendingRemoves). runLock is
// held while the tasks run, so no two passes overlap.
#pragma once

#include <cstdint>

#include "core/Thread.h"
#include "core/TimeSliceTask.h"
#include "util/LL.h"

// Calls every registered task once per pass with the milliseconds since the
// previous pass; sleeps 5 ms after a busy pass and 50 ms after an idle one.
// It does not own its tasks.
class TaskThread : public Thread {
public:
    TaskThread();
    ~TaskThread() override;

    void onStart() override;
    void start() override;
    // One pass, then the sleep.
    void run() override;

    // The task joins at the start of the next pass.
    void addTask(TimeSliceTask* task);
    // The task is not called again, not even later in the current pass.
    void removeTask(TimeSliceTask* task);

    // One pass without the sleep; true when some task did work.
    bool runPass();
    // Whether the task list (not the pending lists) holds the task. Not from a
    // task: it waits for the pass to end.
    bool hasTask(TimeSliceTask* task);

private:
    bool isLeaving(TimeSliceTask* task);

    i4_mutex addLock;
    i4_mutex runLock;
    LL tasks;
    LL pendingAdds;
    LL pendingRemoves;
    int64_t lastPassMs;  // i4_now_ms at the start of the previous pass
};
