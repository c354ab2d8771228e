// Any thread; one thread at a time.
#pragma once

#include "i4min/file/i4_file.h"

// A file over a descriptor, which it owns and closes.
class i4_unix_file_class : public i4_file {
public:
    explicit i4_unix_file_class(int fd);
    ~i4_unix_file_class() override;
    i4_unix_file_class(const i4_unix_file_class&) = delete;
    i4_unix_file_class& operator=(const i4_unix_file_class&) = delete;

    int fd() const { return fd_; }

    int32_t read(void* buf, int32_t n) override;
    int32_t write(const void* buf, int32_t n) override;
    int64_t seek(int64_t pos) override;
    // Leaves the position where it was.
    int64_t size() override;
    int64_t tell() override;

private:
    int fd_;
};

// Writes all n bytes to a descriptor, riding out EINTR and partial writes; n or -1.
int32_t i4_write_fd(int fd, const void* buf, int32_t n);
