// Test helpers for the base layer: error texts, byte buffers, captured stdout.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

// The message of the i4_err that f throws, or "(no error)".
template <class F>
std::string error_of(F f) {
    try {
        f();
    } catch (const i4_err& e) {
        return e.message();
    }
    return "(no error)";
}

// What a growing memory file holds after fill() wrote to it.
template <class F>
std::string bytes_written(F fill) {
    i4_ram_file_class f(nullptr, 0, 16);
    try {
        fill(f);
    } catch (...) {
        i4_free(f.get_buffer());
        throw;
    }
    std::string out;
    if (f.size()) out.assign((const char*)f.get_buffer(), (size_t)f.size());
    i4_free(f.get_buffer());
    return out;
}

// An anonymous temporary file. O_LARGEFILE: a 32-bit build could not go past 2 GiB.
inline int temp_fd() {
    char name[] = "/tmp/tornavel_test_XXXXXX";
    int fd = mkostemp(name, O_LARGEFILE);
    unlink(name);
    return fd;
}

// The whole contents of a descriptor's file.
inline std::string read_fd(int fd) {
    std::string out;
    char buf[512];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t n; (n = read(fd, buf, sizeof buf)) > 0;) out.append(buf, (size_t)n);
    return out;
}

// Catches what is written to descriptor 1 while it lives.
class stdout_capture {
public:
    stdout_capture() {
        fd_ = temp_fd();
        fflush(stdout);
        saved_ = dup(1);
        dup2(fd_, 1);
    }
    ~stdout_capture() {
        restore();
        close(fd_);
    }

    // Restores descriptor 1 and answers what was written to it.
    std::string text() {
        restore();
        return read_fd(fd_);
    }

private:
    void restore() {
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
            saved_ = -1;
        }
    }

    int fd_;
    int saved_;
};
