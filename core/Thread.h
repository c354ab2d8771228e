// Any thread may call start, requestStop, wake and setPriority; stop from any thread but the one
// it stops. The lock guards state and stoppedByStop; ended is signalled under it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

// A body whose run step is called again and again on its own platform thread
// until a stop is requested. A stop takes effect between two steps.
class Thread {
public:
    enum { RUNNING = 0, STOP_REQUESTED = 1, NOT_RUNNING = 2 };

    Thread();
    virtual void onStart();
    virtual ~Thread();
    virtual void start();
    // Called on the thread after its last step, unless stop ended it. The
    // object may delete itself here.
    virtual void onFinish();
    virtual void run() = 0;
    // Ends a wait of the current step at once, so that a stop request or new work is seen
    // now; a body that never waits has nothing to do.
    virtual void wake();

    void requestStop();
    // Requests a stop and waits until the current step has finished. For a thread whose
    // owner joins it, also waits out a stop the thread asked for itself, so the owner
    // may free it as soon as this returns.
    void stop();
    void setPriority(int level);
    int getState() const { return state.load(); }

protected:
    // For a thread that its owner stops and frees (never one that frees itself): onFinish
    // is not called, and nothing of the object is touched after it stopped.
    void setOwnerJoins() { ownerJoins = true; }

private:
    static void body(void* self);

    std::mutex lock;
    std::condition_variable ended;
    std::atomic<int> state;
    bool stoppedByStop;
    bool ownerJoins;

    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
};
