// queueVerify and startCompletion: any thread (the queue's lock guards the
// jobs); the jobs run on the worker's own thread.
//
// Runs the slow disk work of downloads, one job at a time on one thread: the
// check of a loaded download's data and the completion of a finished one. The
// thread ends itself when no job is left, so a quit never waits on an idle
// worker, and starts again with the next job.
#pragma once

#include <atomic>
#include <deque>

#include "core/Thread.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/DownloadWorkers.h"

class DownloadWorker : public DownloadWorkers, public Thread {
public:
    DownloadWorker();
    ~DownloadWorker() override;

    void queueVerify(Download* download) override;
    void startCompletion(Download* download) override;
    void run() override;

    // The client stops: the job under way ends (a check between two parts, a
    // completion when it is done), the others are dropped, and the thread is
    // waited for. Main thread, after the core task thread has ended.
    void abandon();
    // Jobs not yet taken (tests).
    int pending();

private:
    enum Kind { VERIFY, COMPLETE };
    struct Job {
        Kind kind;
        Download* download;  // one reference, given back when the job is done
    };
    void queue(Kind kind, Download* download);

    std::atomic<bool> quitting;
    i4_mutex jobsLock;
    std::deque<Job> jobs;
};

extern DownloadWorker theDownloadWorker;
