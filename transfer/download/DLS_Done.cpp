#include "transfer/download/DLS_Done.h"

#include "transfer/download/Download.h"

DLS_Done::DLS_Done(Download* d, int s) : DownloadState(d, s) {
    d->setSpeed(0);
}

void DLS_Done::cancel() {}

bool DLS_Done::setHighest() {
    return false;
}
