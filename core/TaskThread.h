// addTask and wake: any thread. removeTask: the thread's own tasks, during a pass. setWaiter:
// while the thread is not running. addLock guards the list of pending changes; runLock is held
// while the tasks run, so no two passes overlap; sleepLock guards the own sleep's flag and the
// waiter's use by wake.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "core/TaskWait.h"
#include "core/Thread.h"
#include "core/TimeSliceTask.h"
#include "i4min/threads/linux/i4_lock.h"
#include "util/LL.h"

// Calls every registered task once per pass with the milliseconds since the previous pass. It
// sleeps in one place only, between passes: in its waiter (the socket pool's readiness wait)
// when it has one, else on its own condition. A pass in which a task did work is followed by
// the next at once; an idle one by a wait of at most IDLE_WAIT_MS, or less when a task's timer
// is due sooner. Adding a task, a stop and wake end the wait at once. It does not own its tasks.
class TaskThread : public Thread {
public:
    enum { IDLE_WAIT_MS = 100 };

    TaskThread();
    ~TaskThread() override;

    void onStart() override;
    void start() override;
    // One pass, then the wait.
    void run() override;
    void wake() override;

    // The task joins at the start of the next pass.
    void addTask(TimeSliceTask* task);
    // The task is not called again, not even later in the current pass.
    void removeTask(TimeSliceTask* task);
    // Additions and removals take effect in the order they were asked, so a task removed and
    // added again stays, and one added and removed again never runs.

    // Where the thread sleeps between passes; null for its own condition. Not owned.
    void setWaiter(TaskWait* waiter);

    // One pass without the wait; true when some task did work.
    bool runPass();
    // How long the thread would wait after the last pass: 0 after a busy one.
    int nextWaitMs() const { return waitMs; }
    // Whether the task list (not the pending changes) holds the task. Not from a
    // task: it waits for the pass to end.
    bool hasTask(TimeSliceTask* task);

private:
    struct Change {
        TimeSliceTask* task;
        bool add;
    };
    bool isLeaving(TimeSliceTask* task);
    void sleep(int ms);

    i4_mutex addLock;
    i4_mutex runLock;
    LL tasks;
    std::vector<Change> pending;
    // Tasks removed since the current pass began; skipped for the rest of it.
    std::vector<TimeSliceTask*> leaving;
    int64_t lastPassMs;  // i4_now_ms at the start of the previous pass
    int waitMs;

    std::mutex sleepLock;
    std::condition_variable woken;
    bool wakeAsked;
    TaskWait* waiter;
};
