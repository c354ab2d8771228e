#include "transfer/download/DLS_Queued.h"

#include "transfer/download/DLPool.h"
#include "transfer/download/DLS_DiskFull.h"
#include "transfer/download/DLS_Downloading.h"
#include "transfer/download/DLS_Paused.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"

DLS_Queued::DLS_Queued(Download* d) : DownloadState(d, STATUS) {}

int DLS_Queued::getSpaceNeeded() {
    return getReserveSize();
}

void DLS_Queued::tick(int) {
    PartialFile* file = download->getPartialFile();
    // Back from a completion that could not finish (no room, a failed move):
    // nothing arrives any more to start it again, so the queue does.
    if (file && file->getState() == PartialFile::ACTIVE && file->isEmpty() &&
        !file->waitsForHashes()) {
        download->finish();
        return;
    }
    if (theDLPool.mayOpen()) download->setState(new DLS_Downloading(download));
}

void DLS_Queued::pause() {
    download->setState(new DLS_Paused(download));
}

void DLS_Queued::diskFull() {
    download->setState(new DLS_DiskFull(download));
}
