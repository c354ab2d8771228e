// Core task thread only.
#pragma once

class UserMeta;

// What the peer protocol hands the chat pool. The chat pool answers it once it is built (the
// start puts it in the services); until then no chat is taken.
class PeerChat {
public:
    virtual ~PeerChat() {}
    // Opcode 78; false makes the peer protocol answer "not accepting chat" (83).
    virtual bool gotMessage(UserMeta* from, const char* text);
    // Opcode 83.
    virtual void notAcceptingCalls(UserMeta* from);
};
