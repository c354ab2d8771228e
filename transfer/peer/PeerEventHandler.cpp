#include "transfer/peer/PeerEventHandler.h"

void PeerEventHandler::peerClosed(Peer*) {}

void PeerEventHandler::connectFailed(uint32_t, uint16_t) {}

void PeerEventHandler::newPeer(Peer*) {}
