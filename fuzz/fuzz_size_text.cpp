// layer: i4min
// Sizes and durations as typed: any text gives a number, never a conversion the language
// leaves undefined.
#include <cstdint>
#include <string>

#include "i4min/string/i4_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 4096) return 0;
    std::string text(reinterpret_cast<const char*>(data), size);
    double bytes = parseSize(text.c_str());
    int minutes = parseMinutes(text.c_str());
    (void)minutes;
    if (bytes == bytes && bytes > -9.2e18 && bytes < 9.2e18) formatSize((int64_t)bytes);
    return 0;
}
