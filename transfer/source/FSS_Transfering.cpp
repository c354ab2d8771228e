#include "transfer/source/FSS_Transfering.h"

#include <algorithm>
#include <vector>

#include "meta/FileParts.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FSS_TransferingAskingPartner.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FSS_WaitForChunks.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"
#include "util/LLView.h"

FSS_Transfering::FSS_Transfering(FileSource* s, int idleMs, int id)
    : PeerInterestedFSS(s, id), idle(idleMs) {
    theDLPool.transferStarted();
}

FSS_Transfering::~FSS_Transfering() {
    theDLPool.transferEnded();
}

double FSS_Transfering::getSpeed() {
    Peer* c = source->getConnection();
    return c ? c->receiveAverage() : 0.0;
}

void FSS_Transfering::onEnter() {
    // The ranges asked in the previous state stay asked.
    requestBlocks();
}

bool FSS_Transfering::openSlot() {
    if (source->requestEnd(0))
        source->sendRequests();
    else
        requestBlocks();
    return true;
}

void FSS_Transfering::requestBlocks() {
    FileSource* s = source;
    DLProgress& progress = s->getDownload()->getProgress();
    bool filled = false, allFree = true;
    for (int i = 0; i < 3; i++) {
        if (s->requestEnd(i)) {
            allFree = false;
            continue;
        }
        uint32_t start = 0, end = 0;
        if (progress.nextRange(&s->getCrumbs(), start, end, s->maxRangeLength()) && end > start) {
            s->requestStart(i) = start;
            s->requestEnd(i) = end;
            filled = true;
        } else if (stealBlock(i)) {
            filled = true;
        }
    }
    if (filled)
        s->sendRequests();
    else if (allFree)
        noNeededParts();
}

bool FSS_Transfering::stealBlock(int slot) {
    FileSource* s = source;
    std::vector<FileSourceInterface*> others;
    for (FileSourceInterface* o : LLView<FileSourceInterface>(s->getDownload()->getSources()))
        others.push_back(o);
    std::stable_sort(others.begin(), others.end(),
                     [](FileSourceInterface* a, FileSourceInterface* b) {
                         return a->getSpeed() < b->getSpeed();
                     });
    double own = getSpeed();
    BoolArray& crumbs = s->getCrumbs();
    for (FileSourceInterface* other : others) {
        int st = other->getStatus();
        if (st != TRANSFERRING && st != PARTNER) continue;
        if (other == s || !(own > 1.5 * other->getSpeed())) return false;
        uint32_t starts[3], ends[3];
        other->getRequests(starts, ends);
        for (int i = 2; i >= 0; i--) {
            if (!ends[i]) continue;
            uint32_t first = (uint32_t)FileParts::crumbOf(starts[i]);
            uint32_t last = (uint32_t)FileParts::crumbOf(ends[i] - 1);
            if (last >= crumbs.size() || !crumbs.get(first) || !crumbs.get(last)) continue;
            other->releaseRequest(i);
            uint32_t start = 0, end = 0;
            bool found = s->getDownload()->getProgress().nextRange(&crumbs, start, end,
                                                                   s->maxRangeLength()) &&
                         end > start;
            if (found) {
                s->requestStart(slot) = start;
                s->requestEnd(slot) = end;
            }
            other->requestBlocks();
            return found;
        }
    }
    return false;
}

bool FSS_Transfering::dropReturnedRanges() {
    FileSource* s = source;
    DLProgress& progress = s->getDownload()->getProgress();
    bool dropped = false;
    for (int i = 0; i < 3; i++) {
        uint32_t start = s->requestStart(i), end = s->requestEnd(i);
        if (!end) continue;
        int crumb = (int)FileParts::crumbOf(start);
        if (crumb >= progress.crumbCount()) continue;
        for (const Gap& g : progress.crumbGaps(crumb)) {
            if (g.start < end && start < g.end) {
                s->releaseRequest(i);
                dropped = true;
                i = -1;  // the slots moved down: look again from the first
                break;
            }
        }
    }
    return dropped;
}

void FSS_Transfering::blockDone(Peer* connection) {
    if (!own(connection)) return;
    idle = 0;
    FileSource* s = source;
    if (!s->requestEnd(0)) return;
    PartialFile* file = s->getDownload()->getPartialFile();
    if (file && file->overlaps(s->requestStart(0), s->requestEnd(0))) {
        if (dropReturnedRanges()) requestBlocks();
        return;
    }
    for (int i = 0; i < 2; i++) {
        s->requestStart(i) = s->requestStart(i + 1);
        s->requestEnd(i) = s->requestEnd(i + 1);
    }
    s->requestStart(2) = s->requestEnd(2) = 0;
    requestBlocks();
}

void FSS_Transfering::gotFileStatus() {
    requestBlocks();
}

bool FSS_Transfering::tick(int elapsedMs) {
    idle += elapsedMs;
    if (idle > IDLE_LIMIT_MS) {
        // A peer that stopped sending without a word is asked again later, not waited for
        // in a queue that does not hold this client.
        theSourceList.removeConnection(source->getConnection());
        source->setState(new FSS_Unasked(source));
    }
    return true;
}

bool FSS_Transfering::queued(Peer* connection) {
    if (!own(connection)) return false;
    source->setState(new FSS_OnQueue(source));
    return true;
}

void FSS_Transfering::noNeededParts() {
    FileSource* s = source;
    if (s->isStatusKnown()) {
        handOverSlot(s, new FSS_NoNeededParts(s));
        return;
    }
    Peer* c = s->getConnection();
    if (c && c->requestFileStatus(s->getFileHash(), s->getDownload()->getFileSize())) {
        s->setState(new FSS_WaitForChunks(s));
        return;
    }
    s->assumeComplete();
    requestBlocks();
}

bool FSS_Transfering::noFile(Peer* connection) {
    if (!own(connection)) return false;
    handOverSlot(source, new FSS_BadSource(source));
    return true;
}

void FSS_Transfering::cancel() {
    Peer* held = holdSlot(source);
    FileSourceState::cancel();
    offerSlot(held);
}

void FSS_Transfering::pause() {
    theSourceList.removeConnection(source->getConnection());
    handOverSlot(source, new FSS_Unasked(source));
}

void FSS_Transfering::diskFull() {
    pause();
}

void FSS_Transfering::shutdown() {
    cancel();
}

void FSS_Transfering::connectionLost() {
    theSourceList.removeConnection(source->getConnection());
    source->setState(new FSS_Gone(source));
}

bool FSS_Transfering::connectFailed(uint32_t, uint16_t) {
    return false;
}

void FSS_Transfering::askPartner() {
    if (source->prLevel() == 1)
        source->setState(new FSS_TransferingAskingPartner(source, (int)idle));
    else
        source->setCoolDown(1);
}
