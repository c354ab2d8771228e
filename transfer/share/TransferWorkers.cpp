#include "transfer/share/TransferWorkers.h"

#include "transfer/share/CompleteFileThread.h"
#include "transfer/share/HashThread.h"

TransferWorkers theTransferWorkers(theHashThread);

TransferWorkers::TransferWorkers(HashThread& h) : hashing(h) {}

TransferWorkers::~TransferWorkers() {
    completing.clear();
}

void TransferWorkers::queueVerify(Download* download) {
    hashing.queueCompleted(download);
}

void TransferWorkers::freeFinished() {
    for (auto it = completing.begin(); it != completing.end();)
        it = (*it)->isDone() ? completing.erase(it) : std::next(it);
}

void TransferWorkers::startCompletion(Download* download) {
    freeFinished();
    completing.emplace_back(new CompleteFileThread(download));
    completing.back()->start();
}

void TransferWorkers::stop() {
    hashing.quit();
    // Each destructor waits for its completion.
    completing.clear();
}
