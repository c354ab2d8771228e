#include "transfer/source/FSS_WaitForChunks.h"

#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

FSS_WaitForChunks::FSS_WaitForChunks(FileSource* s) : PeerInterestedFSS(s, WAIT_CHUNKS) {}

void FSS_WaitForChunks::gotFileStatus() {
    FileSource* s = source;
    if (s->hasNeededCrumb()) {
        theSourceList.askForUpload(s->getConnection(), s->getFileHash());
        s->setState(new FSS_Transfering(s));
    } else {
        s->setState(new FSS_NoNeededParts(s));
    }
}

bool FSS_WaitForChunks::queued(Peer* connection) {
    if (!own(connection)) return false;
    source->setState(new FSS_OnQueue(source));
    return true;
}

bool FSS_WaitForChunks::noFile(Peer* connection) {
    if (!own(connection)) return false;
    handOverSlot(source, new FSS_BadSource(source));
    return true;
}

void FSS_WaitForChunks::cancel() {
    Peer* held = holdSlot(source);
    FileSourceState::cancel();
    offerSlot(held);
}

void FSS_WaitForChunks::shutdown() {
    cancel();
}
