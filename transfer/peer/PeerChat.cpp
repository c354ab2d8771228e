#include "transfer/peer/PeerChat.h"

bool PeerChat::gotMessage(UserMeta*, const char*) {
    return false;
}

void PeerChat::notAcceptingCalls(UserMeta*) {}
