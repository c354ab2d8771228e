#include "transfer/source/PeerInterestedFSS.h"

#include "transfer/peer/Peer.h"
#include "transfer/source/FileSource.h"

PeerInterestedFSS::PeerInterestedFSS(FileSource* s, int id)
    : FileSourceState(s, id), held(nullptr) {
    hold(s->getConnection());
}

PeerInterestedFSS::~PeerInterestedFSS() {
    // A lost connection is already on its way out: its reference went with it.
    if (held && held == source->getConnection()) held->release("PeerInterestedFSS");
}

void PeerInterestedFSS::hold(Peer* connection) {
    if (!connection || connection == held) return;
    if (held && held == source->getConnection()) held->release("PeerInterestedFSS");
    connection->addRef("PeerInterestedFSS");
    held = connection;
}

void PeerInterestedFSS::refPeer(Peer* connection) {
    hold(connection);
}

void PeerInterestedFSS::newPeer(Peer* connection) {
    hold(connection);
    FileSourceState::newPeer(connection);
}
