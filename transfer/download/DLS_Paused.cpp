#include "transfer/download/DLS_Paused.h"

#include "core/MessageQ.h"
#include "transfer/download/DLS_Queued.h"
#include "transfer/download/Download.h"

DLS_Paused::DLS_Paused(Download* d) : DownloadState(d, STATUS) {
    d->setSpeed(0);
}

bool DLS_Paused::isPaused() {
    return true;
}

void DLS_Paused::resume() {
    download->setState(new DLS_Queued(download));
    theMessageQ.post(MSG_CHECK_DISK_SPACE);
}

bool DLS_Paused::setHighest() {
    return false;
}
