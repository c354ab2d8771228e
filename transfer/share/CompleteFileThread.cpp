#include "transfer/share/CompleteFileThread.h"

#include "transfer/download/Download.h"

CompleteFileThread::CompleteFileThread(Download* d) : download(d) {
    setOwnerJoins();
    if (download) download->addRef();
}

CompleteFileThread::~CompleteFileThread() {
    stop();
    if (download) download->release();
}

void CompleteFileThread::run() {
    if (Download* d = download) {
        d->runCompletion();
        download = nullptr;
        d->release();
    }
    requestStop();
}
