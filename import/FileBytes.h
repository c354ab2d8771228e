// Any thread; these helpers keep no state. Positioned reads and the big-endian fields
// of media files (MPEG and FLAC headers); little-endian fields are read through
// i4_field_reader. A short file or a failed read is a false, never an exception.
#pragma once

#include <stdint.h>

#include "i4min/file/i4_file.h"

// Reads exactly n bytes at pos; false when the file ends first or a read fails.
inline bool readBytesAt(i4_file& f, int64_t pos, void* buf, int32_t n) {
    if (pos < 0 || n < 0 || f.seek(pos) != pos) return false;
    uint8_t* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        int32_t r = f.read(p, n);
        if (r <= 0) return false;
        p += r;
        n -= r;
    }
    return true;
}

inline uint32_t be32(const uint8_t* p) {
    return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

inline uint32_t be24(const uint8_t* p) {
    return ((uint32_t)p[0] << 16) | ((uint32_t)p[1] << 8) | p[2];
}
