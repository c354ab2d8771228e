#include "meta/UserMeta.h"

#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_string.h"
#include "meta/MD4.h"
#include "meta/MetaOutput.h"

UserMeta::UserMeta()
    : ip(0), serverIp(0), port(0), serverPort(0), trailerValid(0), friendStatus(0) {
    memset(hash, 0, sizeof hash);
}

UserMeta::UserMeta(UserMeta& other) : UserMeta() {
    copy(&other);
}

UserMeta::~UserMeta() {}

void UserMeta::copy(UserMeta* other) {
    if (!other || other == this) return;
    Meta::copyFrom(other);
    ip = other->ip;
    serverIp = other->serverIp;
    port = other->port;
    serverPort = other->serverPort;
    memcpy(hash, other->hash, sizeof hash);
    trailerValid = other->trailerValid;
    friendStatus = other->friendStatus;
}

bool UserMeta::toBytes(i4_file& f) {
    bool low = isLowId(ip);
    return checked([&] {
        i4_field_writer out(f);
        out.u32(low ? 0 : ip);
        out.u16(low ? 0 : port);
        out.bytes(hash, 16);
        return Meta::toBytes(f);
    });
}

bool UserMeta::fromDisk(i4_file& f) {
    return checked([&] {
        i4_field_reader in(f);
        ip = in.u32();
        port = in.u16();
        in.bytes(hash, 16);
        return Meta::fromDisk(f);
    });
}

bool UserMeta::toNetwork(i4_file& f) {
    return checked([&] {
        i4_field_writer out(f);
        out.bytes(hash, 16);
        out.u32(ip);
        out.u16(port);
        return Meta::toNetwork(f);
    });
}

bool UserMeta::fromNetwork(i4_file& f) {
    return checked([&] {
        i4_field_reader in(f);
        in.bytes(hash, 16);
        ip = in.u32();
        port = in.u16();
        return Meta::fromNetwork(f);
    });
}

int UserMeta::size() {
    return Meta::size() + 22;
}

bool UserMeta::isSameUser(UserMeta* other) {
    if (!other) return false;
    if (isLowId(ip)) {
        if (ip == other->ip && serverIp == other->serverIp && port == other->port &&
            serverPort == other->serverPort)
            return true;
    } else if (ip == other->ip && port == other->port) {
        return true;
    }
    static const uint8_t zero[16] = {0};
    return memcmp(hash, zero, 16) != 0 && memcmp(hash, other->hash, 16) == 0;
}

static void dotted(uint32_t a, char out[16]) {
    i4_snprintf(out, 16, "%d.%d.%d.%d", (int)(a & 255), (int)((a >> 8) & 255),
                (int)((a >> 16) & 255), (int)(a >> 24));
}

void UserMeta::print(MetaOutput* out) {
    if (!out) out = theMetaOutput;
    char addr[16];
    char hex[33];
    i4_string line;
    dotted(ip, addr);
    line.format("IP: %s : %d", addr, (int)port);
    out->printLine(line.c_str());
    dotted(serverIp, addr);
    line.format("BIP: %s : %d", addr, (int)serverPort);
    out->printLine(line.c_str());
    line.format("ID: %s", md4Hex(hash, hex));
    out->printLine(line.c_str());
    dump(out);
}
