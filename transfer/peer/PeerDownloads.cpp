#include "transfer/peer/PeerDownloads.h"

#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/SourceList.h"

bool PeerDownloads::partialFile(const uint8_t*, uint32_t*, uint32_t*) {
    return false;
}

bool PeerDownloads::doneBits(const uint8_t*, bool, BoolArray*) {
    return false;
}

void PeerDownloads::gotData(const uint8_t*, uint32_t, uint32_t, const uint8_t*, Peer*) {}

void PeerDownloads::noFile(const uint8_t*, Peer*) {}

void PeerDownloads::gotFileStatus(const uint8_t*, Peer*, BoolArray*) {}

void PeerDownloads::gotPartHashes(const uint8_t*, i4_file&) {}

void PeerDownloads::gotCrumbHashes(const uint8_t*, i4_file&, Peer*) {}

void PeerDownloads::gotFileName(const uint8_t*, const char*, Peer*) {}

void PeerDownloads::partnerAccepted(const uint8_t*, Peer*) {}

void PeerDownloads::partnerDenied(const uint8_t*, Peer*) {}

void PeerDownloads::gotCrumbAvailable(const uint8_t*, Peer*, uint32_t) {}

void PeerDownloads::addSourceFor(const uint8_t*, UserMeta*, Peer*) {}

void PeerDownloads::openSlot(Peer* from) {
    // No download wants the slot.
    if (!from) return;
    if (theClientPool.contains(from)) {
        from->sendCancelTransfer();
        theSourceList.removeConnection(from);
    }
    from->release("ICLT_SLOT_OPEN");
}

void PeerDownloads::queued(Peer*) {}

void PeerDownloads::placeInQueue(Peer* from, uint32_t rank) {
    if (from) theSourceList.setValue(from->getUser(), (int)rank);
}
