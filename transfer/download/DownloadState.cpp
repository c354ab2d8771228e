#include "transfer/download/DownloadState.h"

#include "core/Message.h"
#include "meta/FileParts.h"
#include "transfer/download/DLS_Done.h"
#include "transfer/download/DLS_Highest.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"

DownloadState::DownloadState(Download* d, int s) : status(s), download(d) {}

DownloadState::~DownloadState() {}

int DownloadState::getReserveSize() {
    return (int)FileParts(download->getFileSize()).largestPartSize();
}

int DownloadState::getSpaceNeeded() {
    return 0;
}

bool DownloadState::isPaused() {
    return false;
}

void DownloadState::tick(int) {}

void DownloadState::pause() {}

void DownloadState::resume() {}

void DownloadState::cancel() {
    Download* d = download;
    if (d->getPartialFile()) d->getPartialFile()->deleteFiles();
    d->post(MSG_END_DOWNLOAD);
    d->setState(new DLS_Done(d, DLS_Done::DONE));
}

void DownloadState::diskFull() {}

int DownloadState::spaceAvailable() {
    return 0;
}

void DownloadState::hashDone() {}

void DownloadState::gotData(uint32_t, uint32_t, const uint8_t*, Peer*) {}

bool DownloadState::openSlot(Peer*) {
    return false;
}

void DownloadState::gotFileName(const char*, Peer*) {}

bool DownloadState::setHighest() {
    download->setState(new DLS_Highest(download));
    return true;
}

void DownloadState::partnerAccepted(Peer*) {}

void DownloadState::partnerDenied(Peer*) {}

void DownloadState::callbackFailed(uint32_t, uint32_t) {}

void DownloadState::connectFailed(uint32_t, uint16_t) {}
