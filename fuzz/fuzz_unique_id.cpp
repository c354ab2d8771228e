// layer: util
// File and user hashes as typed in links and commands: exactly 32 hex digits are taken and
// come back as the same text in lower case; anything else leaves the id untouched.
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

#include "i4min/memory/i4_memory.h"
#include "util/UniqueID.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    uint8_t id[16];
    memset(id, 0xA5, sizeof id);
    uint8_t before[16];
    memcpy(before, id, sizeof id);
    if (UniqueID::fromHex(id, text.c_str())) {
        char* hex = UniqueID::toHex(id);
        std::string lower = text.c_str();
        for (char& c : lower) c = (char)tolower((unsigned char)c);
        if (lower != hex) __builtin_trap();
        i4_free(hex);
    } else if (memcmp(id, before, sizeof id) != 0) {
        __builtin_trap();
    }
    return 0;
}
