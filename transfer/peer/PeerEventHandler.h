// Called on the core task thread only, by the connection pool.
#pragma once

#include <cstdint>

class Peer;

// A listener of the connection pool: learns of every peer connection that finished its hello,
// that closes, and of every outgoing peer connect that failed. The bodies do nothing.
class PeerEventHandler {
public:
    virtual ~PeerEventHandler() {}
    // A listed connection is being destroyed; drop every pointer to it.
    virtual void peerClosed(Peer* peer);
    virtual void connectFailed(uint32_t ip, uint16_t port);
    // A connection finished its hello exchange and was listed.
    virtual void newPeer(Peer* peer);
};
