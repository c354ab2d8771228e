// Threads: any.
#pragma once

#include <cstdint>

// What i4_get_status and the directory listing tell about a file.
struct i4_file_status {
    int64_t modified;  // seconds since the epoch
    int64_t accessed;
    int64_t changed;  // status change
    int32_t is_dir;   // 1 for a directory, else 0
    int64_t size;     // bytes
    // 1 for a plain file (also through a link), else 0: a FIFO, a socket or a device
    // would block or never end when read as a file.
    int32_t is_regular;
};

// 1 on success. 0 when the name does not exist: is_dir and is_regular are then 0
// and the other fields are untouched.
int i4_get_status(const char* name, i4_file_status& status);
