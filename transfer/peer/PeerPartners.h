// Core task thread only.
#pragma once

#include <cstdint>

class Peer;

// What the peer protocol asks of the partner manager. The partner manager answers it once it
// is built (the start puts it in the services); until then every partner request is denied.
class PeerPartners {
public:
    virtual ~PeerPartners() {}
    // Opcode 101: true answers 103, false 102.
    virtual bool acceptPartner(Peer* from, const uint8_t hash[16]);
};
