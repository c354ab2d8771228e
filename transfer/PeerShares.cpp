#include "transfer/PeerShares.h"

#include "core/CoreOptions.h"

namespace {
PeerShares nothingShared;
}  // namespace

PeerShares* thePeerShares = &nothingShared;

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

int PeerShares::frAllow() {
    int value = 0;
    theCoreOptions.getIntPref("frAllow", &value);
    return value;
}
