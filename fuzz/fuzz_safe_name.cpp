// layer: i4min
// Names from peers, controllers and typed arguments before they become part of a path: a
// name the check lets through is one harmless component, and the path helpers take any text.
#include <cstdint>
#include <cstring>
#include <string>

#include "i4min/file/i4_path.h"
#include "i4min/string/i4_string.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    int max = data[0];
    std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* name = text.c_str();
    if (i4_is_safe_name(name, max)) {
        size_t n = strlen(name);
        if (n == 0 || (int)n > max || strchr(name, '/') || strchr(name, '\\') ||
            strcmp(name, ".") == 0 || strcmp(name, "..") == 0)
            __builtin_trap();
        for (size_t i = 0; i < n; i++)
            if ((unsigned char)name[i] < 0x20 || name[i] == 0x7f) __builtin_trap();
    }
    i4_string fixed(name);
    i4_fix_dot_name(fixed);
    if (strcmp(fixed.c_str(), ".") == 0 || strcmp(fixed.c_str(), "..") == 0) __builtin_trap();
    i4_string dir, base, ext;
    i4_split_path(name, dir, base, ext);
    return 0;
}
