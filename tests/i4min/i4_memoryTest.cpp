#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

#include "i4_test_util.h"
#include "i4min/memory/i4_memory.h"
#include "support/Sanitizers.h"

#if TORNAVEL_ASAN
// Let impossible allocations fail with null, as they do without the sanitizer.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
#endif

namespace {

TEST(i4_memory, AllocateGrowAndFree) {
    char* p = (char*)i4_malloc(4);
    memcpy(p, "abc", 4);
    p = (char*)i4_realloc(p, 4096);
    EXPECT_STREQ(p, "abc");
    i4_free(p);

    void* zero = i4_malloc(0);
    EXPECT_NE(zero, nullptr);
    i4_free(zero);
    void* fresh = i4_realloc(nullptr, 8);
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(i4_realloc(fresh, 0), nullptr);
    i4_free(nullptr);
}

TEST(i4_memory, ExhaustsMemoryAndSaysSo) {
    const size_t impossible = SIZE_MAX - 4096;
    EXPECT_EQ(error_of([&] { i4_malloc(impossible); }), "out of memory");
    EXPECT_EQ(error_of([&] { i4_realloc(nullptr, impossible); }), "out of memory");
    void* p = i4_malloc(16);
    EXPECT_EQ(error_of([&] { p = i4_realloc(p, impossible); }), "out of memory");
    i4_free(p);  // still the caller's after a failed growth
}

}  // namespace
