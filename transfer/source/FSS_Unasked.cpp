#include "transfer/source/FSS_Unasked.h"

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "transfer/download/DLPool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FSS_WaitForConnection.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"
#include "transfer/source/SourceListEntry.h"

FSS_Unasked::FSS_Unasked(FileSource* s) : FileSourceState(s, UNASKED) {}

bool FSS_Unasked::tryConnect() {
    // True whatever happens, so that the download starts no server search meanwhile.
    FileSource* s = source;
    if (theCore.connectionCount() >= theCoreOptions.maxCon + 2) return true;
    if (SourceListEntry* asked = theSourceList.find(s->getUserMeta())) {
        s->getUserMeta()->copy(&asked->user);
        s->setQueueRank(asked->value);
        s->setState(new FSS_OnQueue(s));
        return true;
    }
    theDLPool.connectStarted();
    Peer* out = nullptr;
    switch (theClientPool.connect(s->getUserMeta(), &out, false)) {
    case ClientPool::REFUSED:
        s->setState(new FSS_BadSource(s));
        break;
    case ClientPool::BOTH_LOW:
        s->setState(new FSS_Gone(s));
        break;
    case ClientPool::UNDER_WAY:
        s->setState(new FSS_WaitForConnection(s));
        break;
    case ClientPool::CONNECTED:
        s->newPeer(out);
        break;
    default:
        break;
    }
    return true;
}

void FSS_Unasked::placeInQueue(Peer* connection, int rank) {
    if (!sameUser(connection)) return;
    source->setQueueRank(rank);
    source->setState(new FSS_OnQueue(source));
}

void FSS_Unasked::connectionLost() {}
