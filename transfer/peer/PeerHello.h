// Any thread for the trailer; the writer reads the own settings and the readers fill a
// record that the caller owns, both on the core task thread.
#pragma once

#include <cstdint>

#include "transfer/peer/PeerProtocol.h"

class TCPPacket;
class UserMeta;
class i4_field_reader;

// The hello (1) that opens a connection and its answer (76), read and written here; the
// connection acts between the reads (PeerFrame has every other frame).
//
// Hello payload (76 is the same without the 16 at offset 1):
//   offset  width  field
//   0       1      opcode 1
//   1       1      16, the length of the user hash
//   2       R      the sender's user record, wire form (hash, id, door port, tags)
//   2+R     4      the sender's server ip (0 when not connected)
//   6+R     2      the sender's server port
//   8+R     4      trailer over bytes 0..7+R, seeded with the sender's door port
class PeerHello : public PeerProtocol {
public:
    // The own hello or answer: the own user record, the server ip and port, and the trailer
    // seeded with the door port.
    static TCPPacket* write(bool answer, uint32_t serverIp, uint16_t serverPort, uint16_t doorPort);

    // The sender's record into user, after the length byte for a hello; false when the
    // length is not 16 or the record cannot be read.
    static bool readHead(i4_field_reader& in, bool answer, UserMeta& user);
    // Server ip and port into user, and its trailerValid: whether the trailer after them is
    // right, seeded with the record's port. A missing or wrong trailer never refuses the
    // peer: it only marks it.
    static void readTail(i4_field_reader& in, UserMeta& user);

    // The trailer over p[0..n-1] (opcode byte through the 4 trailer bytes): writes the four
    // trailer bytes and answers whether they were already what it wrote. A sender ignores
    // the answer; a receiver takes it as the check. The seed is a door port read as signed 16
    // bits.
    static bool trailer(uint8_t* p, uint32_t n, int32_t seed);
    static int32_t trailerSeed(uint16_t doorPort) { return (int16_t)doorPort; }
};
