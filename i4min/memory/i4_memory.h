// Any thread. Thin checked wrappers over the C heap; no shared state of their own.
#pragma once

#include <cstddef>

// Each reports "out of memory" (an i4_err) instead of returning null.
void* i4_malloc(size_t n);
// A null pointer is an i4_malloc; n == 0 releases the block and gives null.
void* i4_realloc(void* p, size_t n);
void i4_free(void* p);
