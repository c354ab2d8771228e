#include <atomic>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "core/TaskThread.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_thread.h"

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
    bool run(int elapsedMs) override {
        if (calls++ == 0) firstElapsed = elapsedMs;
        return true;
    }
};

TEST(TaskThread, RunsItsTasksOnItsOwnThreadUntilStopped) {
    TaskThread thread;
    CountingTask task;
    thread.addTask(&task);
    i4_sleep_ms(500);  // the first pass counts from start, not from construction
    thread.start();
    for (int i = 0; i < 200 && task.calls < 3; ++i) i4_sleep_ms(10);
    thread.stop();
    EXPECT_GE(task.calls.load(), 3);
    EXPECT_EQ(Thread::NOT_RUNNING, thread.getState());
    EXPECT_LT(task.firstElapsed.load(), 500);
    int after = task.calls;
    i4_sleep_ms(30);
    EXPECT_EQ(after, task.calls.load());

    // The task list survives a stop and a later start.
    thread.start();
    for (int i = 0; i < 200 && task.calls == after; ++i) i4_sleep_ms(10);
    thread.stop();
    EXPECT_GT(task.calls.load(), after);
}

}  // namespace
