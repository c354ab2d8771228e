#include "transfer/peer/PeerChat.h"

namespace {
PeerChat noChat;
}  // namespace

PeerChat* thePeerChat = &noChat;

bool PeerChat::gotMessage(UserMeta*, const char*) {
    return false;
}

void PeerChat::notAcceptingCalls(UserMeta*) {}
