#include "transfer/download/DLS_ErrorLoading.h"

#include "transfer/download/Download.h"

DLS_ErrorLoading::DLS_ErrorLoading(Download* d) : DownloadState(d, STATUS) {
    d->setSpeed(0);
}

bool DLS_ErrorLoading::setHighest() {
    return false;
}
