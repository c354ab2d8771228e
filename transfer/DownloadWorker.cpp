#include "transfer/DownloadWorker.h"

#include "transfer/Download.h"
#include "transfer/PartialFile.h"

DownloadWorker theDownloadWorker;

DownloadWorker::DownloadWorker() : quitting(false) {}

DownloadWorker::~DownloadWorker() {
    for (Job& j : jobs) j.download->release();
}

void DownloadWorker::queue(Kind kind, Download* download) {
    download->addRef();
    jobsLock.lock();
    jobs.push_back(Job{kind, download});
    jobsLock.unlock();
    start();
}

void DownloadWorker::queueVerify(Download* download) {
    queue(VERIFY, download);
}

void DownloadWorker::startCompletion(Download* download) {
    queue(COMPLETE, download);
}

int DownloadWorker::pending() {
    jobsLock.lock();
    int n = (int)jobs.size();
    jobsLock.unlock();
    return n;
}

void DownloadWorker::abandon() {
    quitting = true;
    stop();
    jobsLock.lock();
    std::deque<Job> dropped;
    dropped.swap(jobs);
    jobsLock.unlock();
    // A download left waiting for its check stays in that state; its record
    // brings it back at the next start.
    for (Job& j : dropped) j.download->release();
}

void DownloadWorker::run() {
    jobsLock.lock();
    if (jobs.empty() || quitting) {
        // Ends after this step unless a job arrives first: queue's start()
        // then keeps the thread going.
        requestStop();
        jobsLock.unlock();
        return;
    }
    Job job = jobs.front();
    jobs.pop_front();
    jobsLock.unlock();
    if (job.kind == VERIFY) {
        if (job.download->getPartialFile()) job.download->getPartialFile()->verify(&quitting);
        if (quitting)
            job.download->release();
        else
            job.download->hashDone();  // gives the job's reference back
    } else {
        job.download->runCompletion();
        job.download->release();
    }
}
