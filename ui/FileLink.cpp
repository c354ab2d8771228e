#include "ui/FileLink.h"

#include <string.h>

#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "net/IpPort.h"
#include "util/UniqueID.h"

namespace {

const char* const NOT_VALID = "This is not a valid tnv4-link.";
const char* const ZERO = "Invalid tnv4-link with 0 size.";
const char* const HASH = "Invalid hash in tnv4-link.";

// 1 to 4,294,967,295 in decimal digits only; 0 for anything else, and for a
// text that does not start with a digit. tooLarge tells the two apart.
uint32_t readSize(const char* text, bool& tooLarge) {
    tooLarge = false;
    uint64_t v = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (uint64_t)(*p - '0');
        if (v > 0xFFFFFFFFull) {
            tooLarge = true;
            return 0;
        }
    }
    return *p ? 0 : (uint32_t)v;
}

bool hasControlBytes(const char* text) {
    for (const char* p = text; *p; p++)
        if ((unsigned char)*p < 0x20 || *p == 0x7f) return true;
    return false;
}

// A port of 1 to 65535 in decimal digits; 0 otherwise.
uint16_t readPort(const char* text) {
    uint32_t v = 0;
    const char* p = text;
    for (; *p >= '0' && *p <= '9' && v <= 65535; p++) v = v * 10 + (uint32_t)(*p - '0');
    return *p || v > 65535 ? 0 : (uint16_t)v;
}

}  // namespace

FileLink::Parsed FileLink::parse(char* line) {
    Parsed out{NOT_A_LINK, nullptr, 0, 0};
    char* rest = nullptr;
    if (!strtok_r(line, "|", &rest)) {
        out.result = NOTHING;
        return out;
    }
    const char* kind = strtok_r(nullptr, "|", &rest);
    if (!kind) return out;
    if (strcmp(kind, "file") == 0) {
        char* name = strtok_r(nullptr, "|", &rest);
        const char* size = strtok_r(nullptr, "|", &rest);
        const char* hash = strtok_r(nullptr, "|", &rest);
        if (!name || !size || !hash) return out;
        bool tooLarge;
        uint32_t bytes = readSize(size, tooLarge);
        if (tooLarge) return out;
        if (!bytes) {
            out.result = ZERO_SIZE;
            return out;
        }
        urlDecode(name);
        if (!*name || hasControlBytes(name)) return out;
        FileMeta* record = new FileMeta();
        record->setName(name);
        record->setFileSize(bytes);
        uint8_t id[16];
        if (!UniqueID::fromHex(id, hash)) {
            delete record;
            out.result = BAD_HASH;
            return out;
        }
        record->setFileHash(id);
        out.result = FILE_LINK;
        out.record = record;
        return out;
    }
    if (strcmp(kind, "server") == 0) {
        const char* address = strtok_r(nullptr, "|", &rest);
        const char* port = strtok_r(nullptr, "|", &rest);
        if (!address || !port) return out;
        out.ip = textToIP(address);
        out.port = readPort(port);
        if (out.ip && out.port) out.result = SERVER_LINK;
    }
    return out;
}

void FileLink::command(char* line) {
    Parsed link = parse(line);
    switch (link.result) {
    case NOTHING:
        break;
    case FILE_LINK:
        theMessageQ.post(MSG_START_DOWNLOAD, std::unique_ptr<FileMeta>(link.record));
        break;
    case SERVER_LINK:
        if (theNetworkGateway) theNetworkGateway->addServer(link.ip, link.port);
        break;
    case ZERO_SIZE:
        theUI->printLine("%s", ZERO);
        break;
    case BAD_HASH:
        theUI->printLine("%s", HASH);
        break;
    default:
        theUI->printLine("%s", NOT_VALID);
        break;
    }
}
