// layer: i4min
// URLs as they arrive in links and server-list commands.
#include <cstdint>
#include <string>

#include "i4min/net/i4_split_url.h"
#include "i4min/string/i4_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string url(reinterpret_cast<const char*>(data), size);
    i4_string scheme, host, path, file;
    int port = 80;
    if (i4_split_url(url.c_str(), &scheme, &host, &path, &file, &port)) {
        if (host.is_empty() || scheme.is_empty() || port < 1 || port > 65535) __builtin_trap();
        if (!path.c_str() || path.c_str()[0] != '/') __builtin_trap();
    }
    return 0;
}
