#include "transfer/source/FSS_WaitForChunksBQ.h"

#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

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
