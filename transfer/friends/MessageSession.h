// The core task thread; `lock` guards the connection pointer, which send may read from any
// thread.
#pragma once

#include <cstdint>

#include "i4min/threads/linux/i4_mutex.h"
#include "meta/UserMeta.h"

class Peer;

// A chat with one partner: a copy of its user record and, while connected, its peer
// connection, on which the session holds one reference.
class MessageSession {
public:
    enum State { CONNECTED = 0, WAITING = 1, FAILED = 3, CLOSED = 4 };

    // A copy of the record; waiting for a connection.
    explicit MessageSession(UserMeta* user);
    // Gives back the reference on a connection still held.
    ~MessageSession();

    // Finds the partner's connection or asks for one: connected (state 0), under way (1) or
    // impossible (3).
    void startSession();
    // A new connection, taken when the session waits and it is the partner's (the same
    // address and port, the same low id behind the same server, or the same user hash);
    // true then.
    bool gotCall(Peer* peer);
    // The connection is going: forgotten without a release (it is being destroyed); state 4.
    // False when it was not this session's.
    bool connectionClosed(Peer* peer);
    // Opcode 78 with the text on the open connection; false without one.
    bool send(const char* text);

    // Whether the record names this session's partner: by user hash, or by address and
    // port when the record carries no hash.
    bool matches(UserMeta* other);
    // The same rule for a partner known only by hash, address and port.
    static bool sameParty(const uint8_t hash[16], uint32_t ip, uint16_t port, UserMeta* other);
    // Whether a peer's refusal (83) concerns this session: the peer is the partner by the
    // rule of gotCall.
    bool refusedBy(UserMeta* other);

    int getState() const { return state; }
    void setState(State s) { state = s; }
    UserMeta* getUser() { return &user; }
    Peer* getConnection();

private:
    MessageSession(const MessageSession&) = delete;
    MessageSession& operator=(const MessageSession&) = delete;

    // Holds a reference on peer instead of the old connection's.
    void hold(Peer* peer);

    i4_mutex lock;
    Peer* connection;
    int state;
    UserMeta user;
};
