#include "core/TaskThread.h"

#include <algorithm>

#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_random.h"
#include "i4min/threads/linux/i4_time.h"
#include "util/LLView.h"

TaskThread::TaskThread()
    : lastPassMs(i4_now_ms()), waitMs(IDLE_WAIT_MS), wakeAsked(false), waiter(nullptr) {}

TaskThread::~TaskThread() {}

void TaskThread::onStart() {
    i4_random_seed();
}

void TaskThread::start() {
    lastPassMs = i4_now_ms();
    Thread::start();
}

void TaskThread::run() {
    runPass();
    sleep(waitMs);
}

void TaskThread::setWaiter(TaskWait* w) {
    i4_lock hold(&sleepLock);
    waiter = w;
}

void TaskThread::sleep(int ms) {
    // The waiter changes only while the thread is not running: this thread may read it bare.
    if (waiter) {
        waiter->waitForWork(ms);
        return;
    }
    std::unique_lock<std::mutex> hold(sleepLock);
    if (ms > 0 && !wakeAsked)
        woken.wait_for(hold, std::chrono::milliseconds(ms), [this] { return wakeAsked; });
    wakeAsked = false;
}

void TaskThread::wake() {
    i4_lock hold(&sleepLock);
    if (waiter) {
        waiter->wake();
        return;
    }
    wakeAsked = true;
    woken.notify_one();
}

void TaskThread::addTask(TimeSliceTask* task) {
    {
        i4_lock guard(&addLock);
        pending.push_back(Change{task, true});
    }
    wake();
}

void TaskThread::removeTask(TimeSliceTask* task) {
    i4_lock guard(&addLock);
    pending.push_back(Change{task, false});
    leaving.push_back(task);
}

bool TaskThread::isLeaving(TimeSliceTask* task) {
    i4_lock guard(&addLock);
    return std::find(leaving.begin(), leaving.end(), task) != leaving.end();
}

bool TaskThread::hasTask(TimeSliceTask* task) {
    i4_lock guard(&runLock);
    return tasks.contains(task);
}

bool TaskThread::runPass() {
    i4_lock running(&runLock);
    {
        i4_lock guard(&addLock);
        for (const Change& c : pending) {
            if (c.add)
                tasks.addUnique(c.task);
            else
                tasks.remove(c.task);
        }
        pending.clear();
        leaving.clear();
    }

    int64_t now = i4_now_ms();
    int64_t ms = now - lastPassMs;
    lastPassMs = now;
    int elapsed = ms < 0 ? 0 : ms > INT32_MAX ? INT32_MAX : (int)ms;

    bool busy = false;
    int due = IDLE_WAIT_MS;
    for (void* item : LLView<void>(tasks)) {
        TimeSliceTask* task = static_cast<TimeSliceTask*>(item);
        // A task removed earlier in this pass may already be deleted.
        if (isLeaving(task)) continue;
        if (task->run(elapsed)) busy = true;
        if (isLeaving(task)) continue;  // it may have gone with its own run
        int taskDue = task->nextDueMs();
        if (taskDue >= 0 && taskDue < due) due = taskDue;
    }
    waitMs = busy ? 0 : due;
    return busy;
}
