#include "transfer/download/DLS_Hashing.h"

#include "core/MessageQ.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "transfer/download/DLS_Queued.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"

DLS_Hashing::DLS_Hashing(Download* d) : DownloadState(d, STATUS) {
    d->setSpeed(0);
}

void DLS_Hashing::cancel() {
    theUI->printLine("%s", theXMLStringTable.get(19));
    theTransferUI->downloadChanged(download);
}

void DLS_Hashing::hashDone() {
    PartialFile* file = download->getPartialFile();
    if (file && file->isEmpty()) {
        download->finish();
        return;
    }
    download->setState(new DLS_Queued(download));
    theMessageQ.post(MSG_CHECK_DISK_SPACE);
}

bool DLS_Hashing::setHighest() {
    return false;
}
