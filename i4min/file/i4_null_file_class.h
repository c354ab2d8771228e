// Any thread: it keeps no state.
#pragma once

#include "i4min/file/i4_file.h"

// A file that takes every write and drops it and reads as empty: silences output where
// nobody reads it, such as the console of a fuzz target or a benchmark.
class i4_null_file_class : public i4_file {
public:
    int32_t read(void*, int32_t) override { return 0; }
    int32_t write(const void*, int32_t n) override { return n; }
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }
};
