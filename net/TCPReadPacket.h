// Core task thread only (the owning connection's passes).
#pragma once

#include "net/Packet.h"

// Reassembles one incoming TCP frame (see TCPPacket for the layout), as many or as few
// bytes per step as arrive, even one at a time; its buffer grows with what arrives. Once complete,
// file() holds the payload only, positioned at its first byte (the opcode).
class TCPReadPacket : public Packet {
public:
    // maxLength: the largest payload the connection's protocol ever needs; a peer that
    // announces more (or nothing at all) is cut off before anything is allocated.
    TCPReadPacket(uint8_t expectedMarker, uint32_t maxLength);

    int readFrom(i4_file* stream, int32_t* count) override;
    // Ready for the next frame.
    void reset();

    bool headerComplete() const { return headerReceived == HEADER_SIZE; }
    uint32_t maxPayload() const { return maxLength; }
    // A protocol that trusts its peer more once it has logged in raises the cap; a frame
    // already announced keeps the length it was checked against.
    void setMaxPayload(uint32_t maxLen);
    // The bytes the payload buffer holds room for: never more than twice what has arrived
    // (FIRST_ROOM at least), whatever the header announced.
    int32_t capacity() const { return ram.capacity(); }

    // The buffer is made for the first bytes that arrive (FIRST_ROOM at least, up to SCRATCH at
    // once), then doubles whenever it is full, up to the frame's length.
    enum { HEADER_SIZE = 5, FIRST_ROOM = 4096, SCRATCH = 65536 };

private:
    uint8_t header[HEADER_SIZE];
    int32_t headerReceived;
    uint8_t marker;
    int32_t payloadReceived;
    uint32_t maxLength;
};
