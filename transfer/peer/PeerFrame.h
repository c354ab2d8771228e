// Any thread: plain helpers without state. A payload is read by one thread at a time.
#pragma once

#include <cstdint>

#include "i4min/string/i4_string.h"

class BoolArray;
class TCPPacket;
class i4_field_reader;
class i4_file;

// The fields of peer frames (integers little-endian):
//   hash    16 bytes
//   string  u16 length n, then n bytes, no terminator
//   bits    u16 bit count c, then c/8 + 1 bytes, lowest bit first; nothing more when c is 0
// Payloads are read through i4_field_reader, which checks every field, length and count
// against the bytes left before it reads or allocates and throws i4_err when they are short:
// the connection's pass catches it and drops the connection.
class PeerFrame {
public:
    enum { MARKER = 0xE3, HASH_SIZE = 16, MAX_STRING = 0xFFFE };

    // A frame of exactly payloadLength bytes with the opcode written; the writer adds the rest.
    static TCPPacket* start(uint8_t opcode, int32_t payloadLength);
    // A frame of just the opcode, or the opcode and a hash.
    static TCPPacket* bare(uint8_t opcode);
    static TCPPacket* withHash(uint8_t opcode, const uint8_t hash[16]);

    // Keeps at most max bytes and leaves the payload after the whole text.
    static i4_string readString(i4_field_reader& in, int max);
    // The bit count is held against the bytes left before the array is made.
    static void readBits(i4_field_reader& in, BoolArray& out);
    // n bytes of a memory payload, in place; the reader moves past them.
    static const uint8_t* readBytes(i4_field_reader& in, uint32_t n);

    // Stored size of a text (cut to MAX_STRING bytes) and its writer.
    static int32_t stringSize(const char* text);
    static void writeString(i4_file& f, const char* text);
};
