// start, stopThread, stop, loadUIStrings and setNetwork: the main thread, in that order
// (stop only once the core task thread and every other thread have ended).
// reloadFilters: the main thread or the core task thread; the filter list has its own
// lock. millis and connectionCount: any thread.
#pragma once

#include <cstdint>

#include "core/TaskThread.h"
#include "meta/FilterMaster.h"

class Connector;
class CoreNetwork;
class CoreUI;
class STSocketPool;

// Brings the core services up in a fixed order and takes them down after the core task
// thread has stopped; owns that thread, the socket pool, the connector, the filter list
// and the start time of the client's millisecond clock.
class Core {
    // First, so that it is destroyed last: after the filter list.
    TaskThread thread;

public:
    Core();
    ~Core();

    // The connection layer that makes the socket pool and the connector; set before start.
    void setNetwork(CoreNetwork* network);
    // Settings, proxy, filters, socket pool and connector, then the pool and the message
    // queue on the core task thread, which starts. An i4_err ends start-up, also
    // when the thread cannot be made.
    void start();
    // Stops the core task thread and waits until it has.
    void stopThread();
    // Writes pref.met, then deletes the connector and the socket pool.
    void stop();

    void reloadFilters();
    // The filter file is never written.
    void saveFilters() {}
    // Replaces the built-in texts with those of ui.xml, when there is one.
    void loadUIStrings();
    void setUI(CoreUI* ui);
    int connectionCount();
    // Milliseconds since the core started, from the one monotonic clock (i4_now_ms).
    int64_t millis() const;

    TaskThread& taskThread() { return thread; }

    STSocketPool* socketPool;
    Connector* connector;
    FilterMaster filters;
    // i4_now_ms at start.
    int64_t startMs;

private:
    Core(const Core&) = delete;
    Core& operator=(const Core&) = delete;

    CoreNetwork* network;
};

extern Core theCore;
