#include "transfer/download/DLS_DiskFull.h"

#include "transfer/download/DLS_Paused.h"
#include "transfer/download/DLS_Queued.h"
#include "transfer/download/Download.h"

DLS_DiskFull::DLS_DiskFull(Download* d) : DownloadState(d, STATUS) {
    d->setSpeed(0);
}

void DLS_DiskFull::pause() {
    download->setState(new DLS_Paused(download));
}

int DLS_DiskFull::spaceAvailable() {
    Download* d = download;
    int reserve = getReserveSize();
    d->setState(new DLS_Queued(d));
    return reserve;
}

bool DLS_DiskFull::setHighest() {
    return false;
}
