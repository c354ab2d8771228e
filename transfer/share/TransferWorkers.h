// queueVerify and startCompletion: the core task thread (under the download's lock);
// stop: the main thread after the core task thread has ended. Only the core task thread
// and stop touch the list of completing threads, never both at once.
#pragma once

#include <list>
#include <memory>

#include "transfer/download/DownloadWorkers.h"

class CompleteFileThread;
class HashThread;

// Where the slow disk work of downloads runs: the check of a loaded download's data on the
// hashing thread, each completion on a completing thread of its own.
class TransferWorkers : public DownloadWorkers {
public:
    explicit TransferWorkers(HashThread& hashing);
    ~TransferWorkers() override;
    void queueVerify(Download* download) override;
    void startCompletion(Download* download) override;
    // The client stops: checks end between two parts and are dropped; completions under
    // way run to their end and every completing thread is freed.
    void stop();
    // Completing threads not yet freed (tests).
    int completingThreads() const { return (int)completing.size(); }

private:
    void freeFinished();
    HashThread& hashing;
    std::list<std::unique_ptr<CompleteFileThread>> completing;
};

extern TransferWorkers theTransferWorkers;
