#include "transfer/source/FSS_OnQueue.h"

#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

FSS_OnQueue::FSS_OnQueue(FileSource* s) : FileSourceState(s, ON_QUEUE), waited(0), kept(nullptr) {
    kept = s->getConnection();
    if (kept) kept->addRef("FSS_OnQueue");
}

FSS_OnQueue::~FSS_OnQueue() {
    if (kept && kept == source->getConnection()) kept->release("FSS_OnQueue");
}

void FSS_OnQueue::placeInQueue(Peer* connection, int rank) {
    if (!source->getConnection()) {
        if (sameUser(connection)) source->setQueueRank(rank);
        return;
    }
    if (!own(connection)) return;
    source->setQueueRank(rank);
    if (kept == connection) {
        kept = nullptr;
        connection->release("FSS_OnQueue");
    }
}

bool FSS_OnQueue::tick(int elapsedMs) {
    waited += elapsedMs;
    if (waited <= LIMIT_MS) return true;
    if (!source->getUserMeta()->trailerValid || waited > TRUSTED_LIMIT_MS)
        source->setState(new FSS_Unasked(source));
    return true;
}

void FSS_OnQueue::pause() {
    theSourceList.remove(source->getUserMeta());
    source->setState(new FSS_Unasked(source));
}

bool FSS_OnQueue::tryConnect() {
    return false;
}

void FSS_OnQueue::connectionLost() {
    kept = nullptr;
}
