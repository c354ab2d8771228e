// Built by any thread, then owned by one connection and written only on the core task thread.
#pragma once

#include "net/Packet.h"

// An outgoing frame of the TCP protocols (peers, servers and the remote control share it):
//
//   offset  size  field
//   0       1     marker byte (0xE3)
//   1       4     payload length L, u32 little-endian, not counting these 5 bytes
//   5       L     payload; its first byte is the opcode
class TCPPacket : public Packet {
public:
    enum { HEADER_SIZE = 5, MARKER = 0xE3 };

    // Leaves the file at offset 5, where the writer puts the opcode and the payload.
    TCPPacket(int32_t payloadLength, uint8_t marker, bool close = false);
    // Never written: reaching the head of the queue drops the connection, so every packet
    // queued before it has gone out whole.
    static TCPPacket* closeMarker();

    Packet* clone() const override;
    int writeTo(i4_file* stream, int32_t* count) override;

    // For a packet made with an upper estimate: the size becomes what was written.
    void fixLength();

    bool isClose() const { return close; }
    int32_t bytesSent() const { return sent; }

private:
    int32_t sent;
    bool close;
};
