#include "transfer/download/DLS_Downloading.h"

#include "core/DownloadSources.h"
#include "core/MessageQ.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/DLS_DiskFull.h"
#include "transfer/download/DLS_Paused.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/source/FileSourceInterface.h"
#include "util/LLView.h"

DLS_Downloading::DLS_Downloading(Download* d)
    : DownloadState(d, STATUS),
      hashPollTimer(HASH_POLL_MS),
      sampleTime(0),
      lastTransferred(d->getPartialFile() ? d->getPartialFile()->getTransferred() : 0),
      sampleIndex(0) {
    for (double& s : samples) s = 0;
}

int DLS_Downloading::getSpaceNeeded() {
    return getReserveSize();
}

void DLS_Downloading::sampleSpeed(int elapsedMs) {
    sampleTime += elapsedMs;
    if (sampleTime <= SAMPLE_MS) return;
    PartialFile* file = download->getPartialFile();
    int64_t now = file ? file->getTransferred() : 0;
    int64_t d = now - lastTransferred;
    double sample = d > 0 ? (double)d / sampleTime : 0.0;
    samples[sampleIndex] = sample;
    // The newest value fills the slots that never had one.
    double sum = 0;
    for (double& s : samples) {
        if (s == 0) s = sample;
        sum += s;
    }
    download->setSpeed(sum / SAMPLES);
    sampleIndex = (sampleIndex + 1) % SAMPLES;
    sampleTime = 0;
    lastTransferred = now;
}

void DLS_Downloading::findSources() {
    PartialFile* file = download->getPartialFile();
    // Kept data waiting for its hash sets needs a source as much as a gap does.
    bool wanted = download->getProgress().hasGaps() || (file && file->waitsForHashes());
    if (!theDLPool.mayOpen() || !wanted) return;
    if (download->getFileSize() <= SMALL_FILE && download->getSpeed() >= SMALL_FILE_SPEED) return;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        if (s->tryConnect()) return;
    if (download->getSourceFinder())
        download->getSourceFinder()->findSources(download->getFileId());
}

void DLS_Downloading::pollHashes(int elapsedMs) {
    PartialFile* file = download->getPartialFile();
    if (!file || (file->hasPartHashes() && file->hasCrumbHashes())) return;
    hashPollTimer += elapsedMs;
    if (hashPollTimer <= HASH_POLL_MS) return;
    // A walk in which nobody takes the request is tried again sooner.
    hashPollTimer = HASH_POLL_MS - HASH_RETRY_MS;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources())) {
        if (s->requestHashes()) {
            hashPollTimer = 0;
            return;
        }
    }
}

void DLS_Downloading::tick(int elapsedMs) {
    PartialFile* file = download->getPartialFile();
    // Kept data whose every part passed once the hash sets came: nothing else completes it.
    if (file && file->getState() == PartialFile::ACTIVE && file->isEmpty() &&
        !file->waitsForHashes()) {
        download->finish();
        return;
    }
    sampleSpeed(elapsedMs);
    findSources();
    pollHashes(elapsedMs);
}

void DLS_Downloading::pause() {
    download->setState(new DLS_Paused(download));
    theMessageQ.post(MSG_CHECK_DISK_SPACE);
}

void DLS_Downloading::diskFull() {
    download->setState(new DLS_DiskFull(download));
}

void DLS_Downloading::gotData(uint32_t start, uint32_t end, const uint8_t* data, Peer* connection) {
    // Finished, or waiting for room on the disk: this state is gone.
    if (!download->storeBlock(data, start, end)) return;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        s->blockDone(connection);
}

bool DLS_Downloading::openSlot(Peer* connection) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        if (s->openSlot(connection)) return true;
    return false;
}

void DLS_Downloading::gotFileName(const char* name, Peer* connection) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        s->gotFileName(name, connection);
}

void DLS_Downloading::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        s->callbackFailed(serverIp, clientId);
}

void DLS_Downloading::connectFailed(uint32_t ip, uint16_t port) {
    for (FileSourceInterface* s : LLView<FileSourceInterface>(download->getSources()))
        s->connectFailed(ip, port);
}
