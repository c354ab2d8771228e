#include "core/TaskThread.h"

#include "i4min/threads/linux/i4_random.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"

namespace {
const int kBusySleepMs = 5;
const int kIdleSleepMs = 50;
}  // namespace

TaskThread::TaskThread() : lastPassMs(i4_now_ms()) {}

TaskThread::~TaskThread() {}

void TaskThread::onStart() {
    i4_random_seed();
}

void TaskThread::start() {
    lastPassMs = i4_now_ms();
    Thread::start();
}

void TaskThread::run() {
    i4_sleep_ms(runPass() ? kBusySleepMs : kIdleSleepMs);
}

void TaskThread::addTask(TimeSliceTask* task) {
    i4_lock guard(&addLock);
    pendingAdds.addUnique(task);
}

void TaskThread::removeTask(TimeSliceTask* task) {
    i4_lock guard(&addLock);
    pendingRemoves.addUnique(task);
}

bool TaskThread::isLeaving(TimeSliceTask* task) {
    i4_lock guard(&addLock);
    return pendingRemoves.contains(task);
}

bool TaskThread::hasTask(TimeSliceTask* task) {
    i4_lock guard(&runLock);
    return tasks.contains(task);
}

bool TaskThread::runPass() {
    {
        i4_lock guard(&addLock);
        LLNode* cursor = 0;
        while (void* task = LL::next(&pendingAdds, &cursor)) tasks.addUnique(task);
        pendingAdds.clear();
    }
    i4_lock running(&runLock);
    {
        i4_lock guard(&addLock);
        LLNode* cursor = 0;
        while (void* task = LL::next(&pendingRemoves, &cursor)) tasks.remove(task);
        pendingRemoves.clear();
    }

    int64_t now = i4_now_ms();
    int64_t ms = now - lastPassMs;
    lastPassMs = now;
    int elapsed = ms < 0 ? 0 : ms > INT32_MAX ? INT32_MAX : (int)ms;

    bool busy = false;
    LLNode* cursor = 0;
    while (void* item = LL::next(&tasks, &cursor)) {
        TimeSliceTask* task = static_cast<TimeSliceTask*>(item);
        // A task removed earlier in this pass may already be deleted.
        if (isLeaving(task)) continue;
        if (task->run(elapsed)) busy = true;
    }
    return busy;
}
