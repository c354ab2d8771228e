// The constructor, start, stop and isDone: the core task and main threads; run: the
// thread itself. The object is its owner's (TransferWorkers), who stops it before freeing
// it.
#pragma once

#include "core/Thread.h"

class Download;

// Completes one finished download off the core task thread: checks the whole file, moves
// it into the incoming directory and sets the download's final state (all in
// Download::runCompletion), then stops itself. It holds a reference on the download from
// construction until its completion has run, so the download outlives it.
class CompleteFileThread : public Thread {
public:
    explicit CompleteFileThread(Download* download);
    // Waits for a completion under way; gives back the reference of one never run.
    ~CompleteFileThread() override;

    void run() override;
    // Ended (or never started): the owner may free it.
    bool isDone() const { return getState() == NOT_RUNNING; }

private:
    Download* download;
};
