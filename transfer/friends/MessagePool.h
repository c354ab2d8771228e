// The core task thread. `lock` guards the session list; it is not held while the connection
// pool or the TransferUI is called. Sessions are freed on the core task thread only, so a
// session handed to the TransferUI lives at least until the call returns.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/friends/MessageSession.h"
#include "transfer/peer/PeerChat.h"
#include "transfer/peer/PeerEventHandler.h"

class Peer;
class UserMeta;

// The chat pool: one session per partner, whether a peer's message is taken ("pmAllow": 0
// everybody, 1 friends, 2 nobody; a partner who has or had a session always), and each
// session's connection. A session whose partner is gone (connection closed, connect failed,
// calls refused) is reported and freed, so strangers cannot pile sessions up; only who it
// was with is kept, in a record of bounded length.
class MessagePool : public PeerEventHandler {
public:
    MessagePool();
    ~MessagePool() override;

    // The partner's session, made when there is none, then started (connected or asked
    // for a connection).
    MessageSession* getSession(UserMeta* user);
    MessageSession* findSession(UserMeta* user);
    // Queue message 22: a session opened for that user and reported.
    void openSession(UserMeta* user);

    // Opcode 78: false refuses (the peer protocol answers 83). The text is cut to a chat
    // message's length before anybody sees it.
    bool gotMessage(UserMeta* from, const char* text);
    // Opcode 83: every session of that peer fails with "Is not accepting calls.".
    void notAcceptingCalls(UserMeta* from);

    void newPeer(Peer* peer) override;
    void peerClosed(Peer* peer) override;
    // Fails the sessions still waiting for a connection to that address.
    void connectFailed(uint32_t ip, uint16_t port) override;
    // The same for a low-id partner the server could not reach.
    void callbackFailed(uint32_t serverIp, uint32_t id);

    int count();
    // Forgets the sessions and the partners of former ones.
    void clear();

    // Former partners remembered; the oldest is forgotten first.
    enum { MAX_FORMER = 256 };

    // The answer to the peer protocol; the transfer side's start puts it in the services.
    class PeerAnswer : public PeerChat {
    public:
        explicit PeerAnswer(MessagePool& pool) : pool(pool) {}
        bool gotMessage(UserMeta* from, const char* text) override {
            return pool.gotMessage(from, text);
        }
        void notAcceptingCalls(UserMeta* from) override { pool.notAcceptingCalls(from); }

    private:
        MessagePool& pool;
    };
    PeerAnswer peerAnswer;

private:
    MessagePool(const MessagePool&) = delete;
    MessagePool& operator=(const MessagePool&) = delete;

    // A snapshot of the sessions, to walk without the lock.
    std::vector<MessageSession*> sessions();
    // Frees the sessions in state 3 or 4, which have been reported, and remembers their
    // partners.
    void dropGone();
    bool hadSession(UserMeta* user);

    // Who a freed session was with.
    struct Former {
        uint8_t hash[16];
        uint32_t ip;
        uint16_t port;
    };

    i4_mutex lock;
    std::vector<std::unique_ptr<MessageSession>> list;
    std::deque<Former> former;  // oldest first
};

extern MessagePool theMessagePool;
