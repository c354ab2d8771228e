// A plain record and free helpers; any thread.
#pragma once

#include <cstdint>

#include "i4min/string/i4_string.h"

class i4_address;

// A server or peer named in a queue message; its receiver deletes it.
// ip has its first octet in the lowest byte.
struct IpPort {
    IpPort(uint32_t ip, uint32_t port) : ip(ip), port(port) {}
    uint32_t ip;
    uint32_t port;
};

// "a.b.c.d" of ip, first octet from the lowest byte, written into out; answers out's text.
const char* ipToText(uint32_t ip, i4_string& out);
// The ip of a dotted quad; 0 for null, fewer than four numbers, or a number outside
// 0..255. Anything after the fourth number is ignored.
uint32_t textToIP(const char* text);
// The ip of an address's four octets; 0 for none.
uint32_t addressToIP(const i4_address* address);
