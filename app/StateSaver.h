// begin and run: the core task thread. stopWriting: the main thread, once the core task thread
// has stopped. No lock: the state files' objects are read on the core task thread alone, and
// the writer takes only their bytes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/StateFileWriter.h"
#include "core/TimeSliceTask.h"
#include "i4min/string/i4_string.h"

// Writes pref.met, server.met, friend.met and share.dat soon after they change, besides the
// saves at quit, so that a crash loses at most the last few seconds: every CHECK_EVERY_MS
// it puts each file into bytes and hands the ones that differ from the last written to the
// writer thread. A burst of changes between two checks makes one write.
class StateSaver : public TimeSliceTask {
public:
    enum { CHECK_EVERY_MS = 2000 };

    StateSaver();

    // The state is loaded: what the files would hold now is what later changes are
    // measured from, and the checks begin.
    void begin();
    bool run(int elapsedMs) override;
    int nextDueMs() override;
    // The quit saves every file itself: a write under way ends first, and no other starts.
    void stopWriting();

private:
    struct StateFile {
        std::function<i4_string()> path;
        std::function<bool(std::string&)> bytes;
        std::string last;  // the content last handed to the writer
        bool known;        // false: write at the next check, whatever the content
    };

    void check(bool measureOnly);

    std::vector<StateFile> files;
    StateFileWriter writer;
    bool started;
    int64_t dueMs;
};

extern StateSaver theStateSaver;
