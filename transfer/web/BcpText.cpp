#include "transfer/web/BcpText.h"

#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>

#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "util/UniqueID.h"

namespace {

const char PREFIX[] = "bcp://";
// Longer than any well-formed text: 6 + 32 + 1 + 15 + 1 + 5.
const size_t MAX_TEXT = 128;

bool dottedQuad(const std::string& s, uint32_t* ip) {
    int numbers = 0, digits = 0, value = 0;
    for (char c : s) {
        if (c >= '0' && c <= '9') {
            value = value * 10 + (c - '0');
            if (++digits > 3 || value > 255) return false;
        } else if (c == '.' && digits > 0 && numbers < 3) {
            ++numbers;
            digits = value = 0;
        } else {
            return false;
        }
    }
    if (numbers != 3 || digits == 0) return false;
    *ip = textToIP(s.c_str());
    // A low id is no address anyone can reach.
    return !UserMeta::isLowId(*ip);
}

bool port(const std::string& s, uint16_t* out) {
    if (s.empty() || s.size() > 5) return false;
    uint32_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (uint32_t)(c - '0');
    }
    if (v < 1 || v > 65535) return false;
    *out = (uint16_t)v;
    return true;
}

}  // namespace

bool BcpText::isBcp(const char* text) {
    return text && strncmp(text, "bcp:", 4) == 0;
}

bool BcpText::parse(const char* text, UserMeta* user) {
    if (!text || !user || strncmp(text, PREFIX, sizeof PREFIX - 1) != 0) return false;
    const char* rest = text + sizeof PREFIX - 1;
    if (strlen(rest) > MAX_TEXT) return false;
    std::vector<std::string> fields;
    for (const char* p = rest; *p;) {
        const char* colon = strchr(p, ':');
        size_t n = colon ? (size_t)(colon - p) : strlen(p);
        if (n > 0) fields.emplace_back(p, n);
        p += n;
        if (*p == ':') ++p;
    }
    if (fields.size() == 2) {
        uint32_t ip;
        uint16_t p;
        if (!dottedQuad(fields[0], &ip) || !port(fields[1], &p)) return false;
        user->ip = ip;
        user->port = p;
        user->serverIp = 0;
        user->serverPort = 0;
        memset(user->hash, 0, sizeof user->hash);
        return true;
    }
    if (fields.size() >= 3) {
        uint8_t hash[16];
        uint32_t ip;
        uint16_t p;
        if (!UniqueID::fromHex(hash, fields[0].c_str()) || !dottedQuad(fields[1], &ip) ||
            !port(fields[2], &p))
            return false;
        memcpy(user->hash, hash, sizeof hash);
        user->serverIp = ip;
        user->serverPort = p;
        user->ip = 0;
        user->port = 0;
        return true;
    }
    return false;
}
