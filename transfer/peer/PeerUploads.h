// Core task thread only.
#pragma once

#include <cstdint>

class Peer;
class UserMeta;

// What the peer protocol hands the upload pool. The upload pool answers it once it is built
// (the start puts its answer in the services); until then nothing is uploaded and these bodies do
// nothing.
class PeerUploads {
public:
    virtual ~PeerUploads() {}
    // Opcode 71: up to three half-open ranges of a file (unused pairs are 0).
    virtual void handleRequest(Peer* from, const uint8_t hash[16], const uint32_t starts[3],
                               const uint32_t ends[3]);
    // Opcodes 73 and 86.
    virtual void peerCancelled(Peer* from);
    // Opcode 84 for a file that is shared.
    virtual void enqueue(Peer* from, const uint8_t hash[16]);
    // The partner manager let the user go: it no longer waits for a partner slot.
    virtual void removeWaitingPartner(UserMeta* user);
};
