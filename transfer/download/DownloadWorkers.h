// Called on the core task thread, under the download's lock: an
// implementation queues the work and returns, never running it in the call.
//
// Who runs the slow disk work of a download off the core task thread: the
// check of a loaded download's data and the completion of a finished one.
// The bodies here do nothing and take no reference; TransferWorkers runs the
// checks on the hashing thread and each completion on a thread of its own.
#pragma once

class Download;

class DownloadWorkers {
public:
    virtual ~DownloadWorkers();
    // Takes a reference; the worker runs PartialFile::verify and then
    // Download::hashDone, which gives the reference back.
    virtual void queueVerify(Download* download);
    // Takes a reference; the worker runs Download::runCompletion and then
    // releases it.
    virtual void startCompletion(Download* download);
};
