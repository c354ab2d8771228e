#include "i4min/file/i4_debug_file_class.h"

#include <cstdio>

#include "i4min/file/i4_unix_file_class.h"

int32_t i4_debug_file_class::read(void* buf, int32_t n) {
    if (n <= 0) return 0;
    return fread(buf, (size_t)n, 1, stdin) == 1 ? 1 : 0;
}

int32_t i4_debug_file_class::write(const void* buf, int32_t n) {
    return i4_write_fd(1, buf, n);
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
