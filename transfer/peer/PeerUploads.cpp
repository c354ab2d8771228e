#include "transfer/peer/PeerUploads.h"

void PeerUploads::handleRequest(Peer*, const uint8_t*, const uint32_t*, const uint32_t*) {}

void PeerUploads::peerCancelled(Peer*) {}

void PeerUploads::enqueue(Peer*, const uint8_t*) {}

void PeerUploads::removeWaitingPartner(UserMeta*) {}
