// write and takeFailed: the core task thread; stop: the main thread, once the core task thread
// has stopped; the body runs on a thread of its own. The lock guards the queue, the failed
// names and the stop flag.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "core/Thread.h"

// Writes state files through the safe file off the core task thread, so that a disk slow to
// sync never holds up the client's connections. Each file is given whole, as bytes; a newer
// content of a name replaces one still waiting.
class StateFileWriter : public Thread {
public:
    StateFileWriter();
    ~StateFileWriter() override;

    // Queues the content; starts the thread on first use.
    void write(const std::string& path, std::string bytes);
    // The names whose last write failed since the last call; each failure was said once
    // per run of failures.
    std::set<std::string> takeFailed();
    // Waits for the write under way and drops the ones still queued: whoever stops the
    // writer saves the files itself.
    void stopWriting();

    void run() override;
    void wake() override;

private:
    std::mutex lock;
    std::condition_variable work;
    std::map<std::string, std::string> queued;
    std::set<std::string> failed;
    std::set<std::string> failing;  // said already, until a write of the name succeeds
    bool stopping;
};
