#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"
#include "support/Waiting.h"

namespace {

// A task that writes its name into a shared log each time it runs and, on its
// first run, carries out a script of adds and removes on the thread.
struct ScriptTask : TimeSliceTask {
    char name = '?';
    std::string* log = nullptr;
    std::function<void()> firstRun;
    bool busy = false;
    int calls = 0;
    bool run(int) override {
        *log += name;
        if (calls++ == 0 && firstRun) firstRun();
        return busy;
    }
};

// Ops are "+x" (addTask) and "-x" (removeTask), separated by blanks.
void apply(TaskThread& thread, std::map<char, ScriptTask>& tasks, const std::string& ops) {
    for (size_t i = 0; i + 1 < ops.size(); i += 3) {
        ScriptTask* t = &tasks[ops[i + 1]];
        if (ops[i] == '+')
            thread.addTask(t);
        else
            thread.removeTask(t);
    }
}

struct ScheduleCase {
    const char* what;
    const char* seated;  // in the task list before the first pass
    const char* before;  // ops between the passes
    char actor;          // task that runs `during` on its first call in pass 1
    const char* during;
    const char* pass1;  // call order of pass 1
    const char* pass2;  // and of pass 2
};

const ScheduleCase kSchedule[] = {
    {"a task added twice joins once", "", "+a +a", 0, "", "a", "a"},
    {"adding a present task does not duplicate it", "a", "+a", 0, "", "a", "a"},
    {"tasks join in the order added", "", "+c +a +b", 0, "", "cab", "cab"},
    {"pending add and remove together: never runs", "", "+a -a", 0, "", "", ""},
    {"removed between passes", "ab", "-a", 0, "", "b", "b"},
    {"added during a pass joins the next one", "a", "", 'a', "+b", "a", "ab"},
    {"a later task removed during a pass is skipped at once", "abc", "", 'a', "-c", "ab", "ab"},
    {"an earlier task removed during a pass leaves the next pass", "abc", "", 'c', "-a", "abc",
     "bc"},
    {"a task removing itself has run once", "ab", "", 'a', "-a", "ab", "b"},
    {"removing an absent task changes nothing", "ab", "-c", 0, "", "ab", "ab"},
    {"removed and added again between passes: stays, at the end", "ab", "-a +a", 0, "", "ba", "ba"},
    {"added, removed and added again: joins", "", "+a -a +a", 0, "", "a", "a"},
    {"removed and added again during a pass: skipped, then back", "abc", "", 'a', "-c +c", "ab",
     "abc"},
    {"removed and added again by itself: back next pass", "ab", "", 'a', "-a +a", "ab", "ba"},
};

TEST(TaskThread, AddAndRemoveBetweenAndDuringPasses) {
    for (const ScheduleCase& c : kSchedule) {
        SCOPED_TRACE(c.what);
        TaskThread thread;
        std::string log;
        std::map<char, ScriptTask> tasks;
        for (char n : std::string("abc")) {
            tasks[n].name = n;
            tasks[n].log = &log;
        }
        for (char n : std::string(c.seated)) thread.addTask(&tasks[n]);
        thread.runPass();
        for (auto& t : tasks) t.second.calls = 1;  // the seating pass does not count as a first run
        if (c.actor) {
            tasks[c.actor].calls = 0;
            std::string ops = c.during;
            tasks[c.actor].firstRun = [&thread, &tasks, ops] { apply(thread, tasks, ops); };
        }
        apply(thread, tasks, c.before);

        log.clear();
        thread.runPass();
        EXPECT_EQ(c.pass1, log);
        log.clear();
        thread.runPass();
        EXPECT_EQ(c.pass2, log);
    }
}

// The owner of a task may delete it right after removing it; the rest of the
// pass must not touch it (AddressSanitizer reports it if it does).
TEST(TaskThread, TaskDeletedRightAfterRemovalIsNotCalled) {
    TaskThread thread;
    std::string log;
    ScriptTask first;
    first.name = 'a';
    first.log = &log;
    ScriptTask* doomed = new ScriptTask;
    doomed->name = 'b';
    doomed->log = &log;
    thread.addTask(&first);
    thread.addTask(doomed);
    thread.runPass();
    first.calls = 1;
    thread.runPass();
    ASSERT_EQ("abab", log);

    first.calls = 0;
    first.firstRun = [&] {
        thread.removeTask(doomed);
        delete doomed;
        doomed = nullptr;
    };
    log.clear();
    thread.runPass();
    thread.runPass();
    EXPECT_EQ("aa", log);
    EXPECT_FALSE(thread.hasTask(doomed));
}

// An owner that deletes its task and makes a new one may well get the same address back: the
// new task must run from the next pass, and one added and removed again must never run.
TEST(TaskThread, ATaskMadeWhereARemovedOneStoodRuns) {
    for (bool removeFresh : {false, true}) {
        SCOPED_TRACE(removeFresh);
        TaskThread thread;
        std::string log;
        alignas(ScriptTask) unsigned char room[sizeof(ScriptTask)];
        ScriptTask* old = new (room) ScriptTask;
        old->name = 'o';
        old->log = &log;
        ScriptTask owner;
        owner.name = 'a';
        owner.log = &log;
        thread.addTask(&owner);
        thread.addTask(old);
        thread.runPass();
        ASSERT_EQ("ao", log);

        owner.calls = 0;
        owner.firstRun = [&] {
            thread.removeTask(old);
            old->~ScriptTask();
            ScriptTask* fresh = new (room) ScriptTask;
            ASSERT_EQ((void*)old, (void*)fresh);
            fresh->name = 'n';
            fresh->log = &log;
            thread.addTask(fresh);
            if (removeFresh) thread.removeTask(fresh);
        };
        log.clear();
        thread.runPass();
        EXPECT_EQ("a", log);
        log.clear();
        thread.runPass();
        EXPECT_EQ(removeFresh ? "a" : "an", log);
        reinterpret_cast<ScriptTask*>(room)->~ScriptTask();
    }
}

TEST(TaskThread, PassIsBusyOnlyWhenSomeTaskWorked) {
    const struct {
        bool a, b, busy;
    } cases[] = {
        {false, false, false}, {true, false, true}, {false, true, true}, {true, true, true}};
    for (const auto& c : cases) {
        TaskThread thread;
        std::string log;
        ScriptTask a, b;
        a.log = b.log = &log;
        a.busy = c.a;
        b.busy = c.b;
        thread.addTask(&a);
        thread.addTask(&b);
        EXPECT_EQ(c.busy, thread.runPass()) << c.a << c.b;
    }
    TaskThread empty;
    EXPECT_FALSE(empty.runPass());
}

struct ElapsedTask : TimeSliceTask {
    std::vector<int> seen;
    bool run(int elapsedMs) override {
        seen.push_back(elapsedMs);
        return false;
    }
};

// Setting the date (a user, a time daemon) must not hand the tasks hours of elapsed time: the
// loop counts on the monotonic clock alone.
TEST(TaskThread, TasksGetTheMonotonicMillisecondsSinceThePreviousPass) {
    i4_test_clock clock;
    TaskThread thread;
    ElapsedTask task;
    thread.addTask(&task);
    clock.step_ms(7);
    thread.runPass();
    clock.step_ms(40);
    thread.runPass();
    clock.step_wall_ms(3600 * 1000);
    thread.runPass();
    clock.step_wall_ms(-2 * 3600 * 1000);
    clock.step_ms(5);
    thread.runPass();
    EXPECT_EQ((std::vector<int>{7, 40, 0, 5}), task.seen);
}

// A task that counts its calls and stops being busy after a while.
struct CountingTask : TimeSliceTask {
    std::atomic<int> calls{0};
    std::atomic<int> firstElapsed{-1};
    std::atomic<int64_t> firstAt{-1};  // i4_now_ms of the first call
    bool run(int elapsedMs) override {
        if (calls++ == 0) {
            firstElapsed = elapsedMs;
            firstAt = i4_now_ms();
        }
        return true;
    }
};

TEST(TaskThread, RunsItsTasksOnItsOwnThreadUntilStopped) {
    TaskThread thread;
    CountingTask task;
    thread.addTask(&task);
    i4_sleep_ms(100);  // the first pass counts from start, not from construction
    int64_t startedAt = i4_now_ms();
    thread.start();
    waitUntil([&] { return task.calls >= 3; });
    thread.stop();
    EXPECT_GE(task.calls.load(), 3);
    EXPECT_EQ(Thread::NOT_RUNNING, thread.getState());
    // No more than went by between the start and the first pass, whatever the load.
    EXPECT_LE(task.firstElapsed.load(), task.firstAt.load() - startedAt);
    int after = task.calls;
    i4_sleep_ms(30);
    EXPECT_EQ(after, task.calls.load());

    // The task list survives a stop and a later start.
    thread.start();
    waitUntil([&] { return task.calls > after; });
    thread.stop();
    EXPECT_GT(task.calls.load(), after);
}

// A task with a timer of its own.
struct DueTask : TimeSliceTask {
    explicit DueTask(int d) : due(d) {}
    bool run(int) override { return false; }
    int nextDueMs() override { return due; }
    int due;
};

// Stands for the socket pool's readiness wait: records how long it was asked to sleep.
struct RecordingWait : TaskWait {
    void waitForWork(int ms) override { waits.push_back(ms); }
    void wake() override { wakes++; }
    std::vector<int> waits;
    int wakes = 0;
};

// The thread sleeps only in its waiter, and only after an idle pass: for the idle time, or
// less when a task's timer is due sooner.
TEST(TaskThread, WaitsAfterAnIdlePassOnlyAndNoLongerThanTheSoonestTimer) {
    const struct {
        const char* what;
        bool busy;
        std::vector<int> dues;
        int wait;
    } cases[] = {
        {"idle, no timers", false, {}, TaskThread::IDLE_WAIT_MS},
        {"busy", true, {}, 0},
        {"busy with a far timer", true, {500}, 0},
        {"a timer due sooner", false, {250, 30, -1}, 30},
        {"a timer due now", false, {0}, 0},
        {"timers due later than the idle time", false, {250, 101}, TaskThread::IDLE_WAIT_MS},
        {"no timer", false, {-1}, TaskThread::IDLE_WAIT_MS},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TaskThread thread;
        RecordingWait wait;
        thread.setWaiter(&wait);
        std::string log;
        ScriptTask worker;
        worker.log = &log;
        worker.busy = c.busy;
        thread.addTask(&worker);
        std::vector<std::unique_ptr<DueTask>> timers;
        for (int d : c.dues) {
            timers.emplace_back(new DueTask(d));
            thread.addTask(timers.back().get());
        }
        thread.run();
        EXPECT_EQ(std::vector<int>{c.wait}, wait.waits);
        EXPECT_EQ(c.wait, thread.nextWaitMs());
        thread.setWaiter(nullptr);
    }
}

// New work ends the sleep at once: a task added, a message posted, a stop.
TEST(TaskThread, NewWorkWakesItsWaiter) {
    TaskThread thread;
    RecordingWait wait;
    thread.setWaiter(&wait);
    ElapsedTask task;
    thread.addTask(&task);
    EXPECT_EQ(1, wait.wakes);
    MessageQ queue;
    queue.wakeOnPost(&thread);
    queue.post(MSG_NOTHING);
    EXPECT_EQ(2, wait.wakes);
    thread.requestStop();
    EXPECT_EQ(3, wait.wakes);
    // A queue with messages waiting asks for the next pass at once.
    EXPECT_EQ(0, queue.nextDueMs());
    queue.run(0);
    EXPECT_EQ(-1, queue.nextDueMs());
    thread.setWaiter(nullptr);
}

}  // namespace
