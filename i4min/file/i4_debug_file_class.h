// Any thread: writes go straight to the descriptor, unbuffered.
#pragma once

#include "i4min/file/i4_file.h"

// The console file: writes to standard output (descriptor 1), reads standard input. What it
// writes shows control characters other than line ends and tabs as '?' (i4_mask_controls).
class i4_debug_file_class : public i4_file {
public:
    constexpr i4_debug_file_class() {}

    // 1 when all n bytes arrived, 0 otherwise.
    int32_t read(void* buf, int32_t n) override;
    int32_t write(const void* buf, int32_t n) override;
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }
};

// The one console file; usable from static initialisation until exit.
extern i4_debug_file_class* i4_debug;
