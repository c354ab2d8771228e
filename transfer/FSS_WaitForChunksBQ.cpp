#include "transfer/FSS_WaitForChunksBQ.h"

#include "transfer/FSS_BadSource.h"
#include "transfer/FSS_NoNeededParts.h"
#include "transfer/FSS_OnQueue.h"
#include "transfer/FileSource.h"
#include "transfer/SourceList.h"

FSS_WaitForChunksBQ::FSS_WaitForChunksBQ(FileSource* s) : PeerInterestedFSS(s, WAIT_CHUNKS_BQ) {}

void FSS_WaitForChunksBQ::gotFileStatus() {
    FileSource* s = source;
    if (s->hasNeededCrumb()) {
        theSourceList.askForUpload(s->getConnection(), s->getFileHash());
        s->setState(new FSS_OnQueue(s));
    } else {
        s->setState(new FSS_NoNeededParts(s));
    }
}

bool FSS_WaitForChunksBQ::noFile(Peer* connection) {
    if (!own(connection)) return false;
    source->setState(new FSS_BadSource(source));
    return true;
}
