#include "i4min/file/i4_unix_file_class.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

i4_unix_file_class::i4_unix_file_class(int fd) : fd_(fd) {}

i4_unix_file_class::~i4_unix_file_class() {
    if (fd_ >= 0) ::close(fd_);
}

int32_t i4_unix_file_class::read(void* buf, int32_t n) {
    if (n <= 0) return 0;
    ssize_t r;
    do r = ::read(fd_, buf, (size_t)n);
    while (r < 0 && errno == EINTR);
    return (int32_t)r;
}

int32_t i4_unix_file_class::write(const void* buf, int32_t n) {
    return i4_write_fd(fd_, buf, n);
}

int32_t i4_write_fd(int fd, const void* buf, int32_t n) {
    if (n < 0) return -1;
    const char* p = (const char*)buf;
    int32_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd, p + done, (size_t)(n - done));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        done += (int32_t)w;
    }
    return done;
}

int64_t i4_unix_file_class::seek(int64_t pos) {
    return lseek64(fd_, pos, SEEK_SET);
}

int64_t i4_unix_file_class::tell() {
    return lseek64(fd_, 0, SEEK_CUR);
}

int64_t i4_unix_file_class::size() {
    off64_t here = lseek64(fd_, 0, SEEK_CUR);
    if (here < 0) return -1;
    off64_t end = lseek64(fd_, 0, SEEK_END);
    lseek64(fd_, here, SEEK_SET);
    return end;
}
