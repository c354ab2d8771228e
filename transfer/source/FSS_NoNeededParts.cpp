#include "transfer/source/FSS_NoNeededParts.h"

#include "transfer/source/FSS_TestPartner.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

FSS_NoNeededParts::FSS_NoNeededParts(FileSource* s) : FileSourceState(s, NO_NEEDED), sinceLook(0) {}

bool FSS_NoNeededParts::tick(int elapsedMs) {
    if (!source->isStatusKnown()) {
        source->setState(new FSS_Unasked(source));
        return true;
    }
    sinceLook += elapsedMs > 0 ? elapsedMs : 0;
    if (sinceLook < LOOK_EVERY_MS) return true;
    sinceLook = 0;
    if (source->hasUnaskedRange()) {
        // Asked anew, not sent to wait in a queue the peer no longer holds it in.
        theSourceList.remove(source->getUserMeta());
        source->setState(new FSS_Unasked(source));
    }
    return true;
}

void FSS_NoNeededParts::gotFileStatus() {
    if (source->hasNeededCrumb()) source->setState(new FSS_Unasked(source));
}

bool FSS_NoNeededParts::partnerAccepted(Peer* connection) {
    if (!own(connection)) return false;
    source->setState(new FSS_TestPartner(source));
    return true;
}

bool FSS_NoNeededParts::openSlot() {
    return false;
}

void FSS_NoNeededParts::connectionLost() {}
