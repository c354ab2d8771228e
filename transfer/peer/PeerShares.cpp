#include "transfer/peer/PeerShares.h"

bool PeerShares::isShared(const uint8_t*) {
    return false;
}

bool PeerShares::copyShared(const uint8_t*, FileMeta*) {
    return false;
}

void PeerShares::getSharedDirectories(LL*) {}

FileList* PeerShares::findSharedDirectory(const char*) {
    return nullptr;
}
