#include "i4min/file/i4_debug_file_class.h"

#include <cstdio>

#include "i4min/file/i4_unix_file_class.h"
#include "i4min/string/i4_string.h"

int32_t i4_debug_file_class::read(void* buf, int32_t n) {
    if (n <= 0) return 0;
    return fread(buf, (size_t)n, 1, stdin) == 1 ? 1 : 0;
}

// Everything shown on the terminal passes here: names and messages from the network reach it
// with their control bytes masked, whichever way they were printed.
int32_t i4_debug_file_class::write(const void* buf, int32_t n) {
    std::string shown;
    if (n <= 0 || !i4_mask_controls(static_cast<const char*>(buf), n, true, shown))
        return i4_write_fd(1, buf, n);
    return i4_write_fd(1, shown.data(), (int32_t)shown.size()) < 0 ? -1 : n;
}

namespace {
// Constant-initialised and never destroyed, so prints from other static
// constructors and destructors still find it.
union console_holder {
    i4_debug_file_class file;
    constexpr console_holder() : file() {}
    ~console_holder() {}
};
console_holder holder;
}  // namespace

i4_debug_file_class* i4_debug = &holder.file;
