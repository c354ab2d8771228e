// Main thread only: taken once at start-up, held until the process ends.
#pragma once

#include "i4min/string/i4_string.h"

// Keeps a second client out of the base directory, where both would write the
// same state files: an advisory lock on a file there, which the kernel gives
// back when the process ends, however it ends.
class BaseDirLock {
public:
    enum Result { TAKEN, HELD_ELSEWHERE, UNAVAILABLE };
    static const char* const FILE_NAME;

    BaseDirLock();
    ~BaseDirLock();

    // TAKEN, HELD_ELSEWHERE when another process holds it (nothing in the
    // directory is changed then), or UNAVAILABLE when the lock file can be
    // neither made nor opened (why() says why).
    Result take(const char* baseDirectory);
    const char* why() const { return reason.c_str(); }
    const i4_string& path() const { return lockPath; }

private:
    BaseDirLock(const BaseDirLock&) = delete;
    BaseDirLock& operator=(const BaseDirLock&) = delete;

    int fd;
    i4_string lockPath;
    i4_string reason;
};
