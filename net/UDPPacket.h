// Built by any thread, then owned by one annex's queue and sent on the core task thread.
#pragma once

#include <cstdint>

#include "net/Packet.h"

class i4_address;

// An outgoing datagram; one frame, no length field:
//
//   offset  size  field
//   0       1     marker byte (0xE3)
//   1       rest  payload; its first byte is the opcode
class UDPPacket : public Packet {
public:
    enum { MARKER = 0xE3 };

    // payloadLength counts the opcode. The destination is made through the protocol in
    // force; without one it is missing and the packet never goes out. Leaves the file at
    // offset 1, where the writer puts the opcode and the payload.
    UDPPacket(int32_t payloadLength, uint32_t ip, int port, uint8_t marker = MARKER);
    // Same, to a copy of the address.
    UDPPacket(int32_t payloadLength, const i4_address* to, uint8_t marker = MARKER);
    ~UDPPacket() override;

    // The whole datagram at once to the destination; stream must be a socket. *count gets
    // what the send answered. Complete when every byte went, else an error.
    int writeTo(i4_file* stream, int32_t* count) override;

    const i4_address* destination() const { return to; }

private:
    void fill(int32_t payloadLength, uint8_t marker);

    i4_address* to;  // owned, may be null
};
