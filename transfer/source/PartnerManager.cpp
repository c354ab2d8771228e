#include "transfer/source/PartnerManager.h"

#include "core/UIGateway.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerUploads.h"
#include "transfer/source/FileSource.h"
#include "util/UniqueID.h"

PartnerManager thePartnerManager;

PartnerManager::PartnerManager()
    : downloadAnswer(*this), peerAnswer(*this), serviceRecord(&TransferServices::beforeStart()) {
    clear();
}

void PartnerManager::clear() {
    highest = nullptr;
    for (FileSource*& p : partners) p = nullptr;
    count = 0;
}

bool PartnerManager::ofHighest(FileSource* source) const {
    return source && highest && source->getDownload() == highest;
}

void PartnerManager::setHighest(Download* download) {
    if (download == highest) return;
    highest = download;
    count = 0;
    for (FileSource* p : partners)
        if (ofHighest(p)) count++;
}

bool PartnerManager::hasRoom() {
    return count < SLOTS;
}

double PartnerManager::getRank(FileSource* source) {
    if (!source) {
        theUI->printLine("ERROR: PartnerManager::getRank(NULL)");
        return -1.0;
    }
    return source->getSpeed();
}

bool PartnerManager::wantsPartner(FileSource* source) {
    if (count <= SLOTS - 1) return true;
    double rank = getRank(source);
    for (FileSource* p : partners)
        if (p && p != source && rank > getRank(p)) return true;
    return false;
}

void PartnerManager::vacate(int i) {
    FileSource* p = partners[i];
    if (Peer* c = p->getConnection()) c->setKeep(false);
    if (ofHighest(p)) count--;
    partners[i] = nullptr;
}

void PartnerManager::addPartner(FileSource* source) {
    if (!source) return;
    for (FileSource* p : partners) {
        if (p == source) {
            if (Peer* c = source->getConnection()) c->setKeep(true);
            return;
        }
    }
    int free = -1;
    for (int i = 0; i < SLOTS && free < 0; i++)
        if (!partners[i]) free = i;
    if (free < 0) {
        for (int i = 0; i < SLOTS && free < 0; i++)
            if (!ofHighest(partners[i])) free = i;
        if (free < 0) return;
        FileSource* evicted = partners[free];
        vacate(free);
        evicted->partnerEnded();
        serviceRecord->uploads->removeWaitingPartner(evicted->getUserMeta());
    }
    partners[free] = source;
    if (ofHighest(source)) count++;
    if (Peer* c = source->getConnection()) c->setKeep(true);
}

void PartnerManager::removePartner(FileSource* source) {
    for (int i = 0; i < SLOTS; i++) {
        if (!source || partners[i] != source) continue;
        vacate(i);
        serviceRecord->uploads->removeWaitingPartner(source->getUserMeta());
        return;
    }
}

void PartnerManager::dropLowest() {
    if (count < SLOTS) return;
    // The search starts from the first occupied slot's own rank, not from a fixed ceiling:
    // with every partner above the ceiling the slowest one must still be the one to go.
    int at = -1;
    double lowest = 0;
    for (int i = 0; i < SLOTS; i++) {
        if (!partners[i]) continue;
        double r = getRank(partners[i]);
        if (at < 0 || r < lowest) {
            lowest = r;
            at = i;
        }
    }
    if (at < 0) return;
    FileSource* dropped = partners[at];
    vacate(at);
    dropped->partnerEnded();
    serviceRecord->uploads->removeWaitingPartner(dropped->getUserMeta());
}

bool PartnerManager::isPartner(Peer* connection) {
    if (!connection) return false;
    for (FileSource* p : partners)
        if (p && p->getConnection() == connection) return true;
    return false;
}

void PartnerManager::removeByConnection(Peer* connection) {
    if (!connection) return;
    for (int i = 0; i < SLOTS; i++) {
        FileSource* p = partners[i];
        if (!p || p->getConnection() != connection) continue;
        vacate(i);
        p->partnerEnded();
        return;
    }
}

bool PartnerManager::acceptPartner(Peer* connection, const uint8_t hash[16]) {
    if (!connection || !hash) return false;
    for (FileSource* p : partners)
        if (p && p->isSameUser(connection->getUser())) return true;
    if (!highest) return false;
    Download* d = nullptr;
    if (UniqueID::equals(highest->getFileId(), hash)) {
        if (!hasRoom()) return false;
        d = highest;
        d->addRef();
    } else {
        d = theDLPool.findByHash(hash);
        if (!d) return false;
        int occupied = 0;
        for (FileSource* p : partners)
            if (p) occupied++;
        if (occupied > 2) {
            d->release();
            return false;
        }
    }
    d->gotPartnerRequest(connection, connection->getUser());
    d->release();
    return true;
}

void PartnerManager::dump() {
    theUI->printLine("Partners: ");
    const char* name = highest ? highest->getFileName() : nullptr;
    theUI->printLine("Highest: %s", name ? name : "NULL");
    for (int i = 0; i < SLOTS; i++) {
        const char* user = partners[i] ? partners[i]->getUserName() : nullptr;
        theUI->printLine("%d) %s", i, partners[i] ? (user ? user : "") : "NULL");
    }
}
