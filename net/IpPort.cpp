#include "net/IpPort.h"

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/net/i4_address.h"

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// One octet as "%d" reads it (leading blanks and a sign allowed); false unless it is a
// number from 0 to 255. Digits are not accumulated past the range, so a long run of them
// cannot overflow.
bool readOctet(const char*& p, uint32_t& value) {
    while (isBlank(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (*p < '0' || *p > '9') return false;
    uint32_t v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        v = v * 10 + (uint32_t)(*p - '0');
        if (v > 255) return false;
    }
    if (negative && v != 0) return false;
    value = v;
    return true;
}

}  // namespace

const char* ipToText(uint32_t ip, i4_string& out) {
    out.format("%d.%d.%d.%d", (int)(ip & 0xff), (int)((ip >> 8) & 0xff), (int)((ip >> 16) & 0xff),
               (int)(ip >> 24));
    return out.c_str();
}

uint32_t textToIP(const char* text) {
    if (!text) return 0;
    const char* p = text;
    uint32_t ip = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0 && *p++ != '.') return 0;
        uint32_t octet;
        if (!readOctet(p, octet)) return 0;
        ip |= octet << (8 * i);
    }
    return ip;
}

uint32_t addressToIP(const i4_address* address) {
    if (!address) return 0;
    uint8_t octets[4] = {0, 0, 0, 0};
    i4_ram_file_class f(octets, sizeof(octets), 0);
    address->write(f);
    return (uint32_t)octets[0] | ((uint32_t)octets[1] << 8) | ((uint32_t)octets[2] << 16) |
           ((uint32_t)octets[3] << 24);
}
