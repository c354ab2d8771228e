#include "app/BaseDirLock.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <unistd.h>

const char* const BaseDirLock::FILE_NAME = "tornavel.lock";

BaseDirLock::BaseDirLock() : fd(-1), lockPath(""), reason("") {}

BaseDirLock::~BaseDirLock() {
    if (fd >= 0) close(fd);
}

BaseDirLock::Result BaseDirLock::take(const char* baseDirectory) {
    lockPath.format("%s/%s", baseDirectory, FILE_NAME);
    // Opening an existing file changes nothing in it; the lock is on the open
    // file itself, so its content never matters.
    int d = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (d < 0) d = open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (d < 0) {
        reason = strerror(errno);
        return UNAVAILABLE;
    }
    int r;
    do {
        r = flock(d, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        Result result = errno == EWOULDBLOCK ? HELD_ELSEWHERE : UNAVAILABLE;
        reason = strerror(errno);
        close(d);
        return result;
    }
    if (fd >= 0) close(fd);
    fd = d;
    return TAKEN;
}
