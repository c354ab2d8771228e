#include "i4min/memory/i4_memory.h"

#include <cstdlib>

#include "i4min/string/i4_err.h"

namespace {
// Building the i4_err for "out of memory" allocates too; a second failure on
// the same thread would recurse forever, so it ends the process instead.
thread_local bool reporting_oom = false;

[[noreturn]] void out_of_memory(const char* file, int line) {
    if (reporting_oom) std::abort();
    reporting_oom = true;
    struct reset {
        ~reset() { reporting_oom = false; }
    } r;
    i4_error_report(file, line, "out of memory");
}
}  // namespace

void* i4_malloc(size_t n) {
    // malloc(0) may legally answer null, which is not a failure.
    void* p = std::malloc(n ? n : 1);
    if (!p) out_of_memory(__FILE__, __LINE__);
    return p;
}

void* i4_realloc(void* p, size_t n) {
    if (!p) return i4_malloc(n);
    if (n == 0) {
        std::free(p);
        return nullptr;
    }
    void* q = std::realloc(p, n);
    if (!q) out_of_memory(__FILE__, __LINE__);
    return q;
}

void i4_free(void* p) {
    std::free(p);
}
