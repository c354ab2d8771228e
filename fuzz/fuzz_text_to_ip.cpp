// layer: net
// Dotted addresses as typed at the console, read from server lists and sent by controllers:
// any text gives an address or 0, and an address read back from its own text is itself.
#include <cstdint>
#include <string>

#include "net/IpPort.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    uint32_t ip = textToIP(text.c_str());
    i4_string back;
    if (ip && textToIP(ipToText(ip, back)) != ip) __builtin_trap();
    textToIP(nullptr);
    return 0;
}
