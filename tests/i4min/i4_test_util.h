// Test helpers for the base layer: error texts, byte buffers, captured stdout.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"

// The message of the i4_err that f throws, or "(no error)".
template <class F>
std::string error_of(F f)
{
    try {
        f();
    } catch (const i4_err& e) {
        return e.message();
    }
    return "(no error)";
}

// What a growing memory file holds after fill() wrote to it.
template <class F>
std::string bytes_written(F fill)
{
    i4_ram_file_class f(nullptr, 0, 16);
    try {
        fill(f);
    } catch (...) {
        i4_free(f.get_buffer());
        throw;
    }
    std::string out;
    if (f.size())
        out.assign((const char*)f.get_buffer(), (size_t)f.size());
    i4_free(f.get_buffer());
    return out;
}

// Catches what is written to descriptor 1 while it lives.
class stdout_capture {
public:
    stdout_capture()
    {
        char name[] = "/tmp/tornavel_stdout_XXXXXX";
        fd_ = mkstemp(name);
        unlink(name);
        fflush(stdout);
        saved_ = dup(1);
        dup2(fd_, 1);
    }
    ~stdout_capture() { restore(); close(fd_); }

    // Restores descriptor 1 and answers what was written to it.
    std::string text()
    {
        restore();
        std::string out;
        char buf[512];
        lseek(fd_, 0, SEEK_SET);
        for (ssize_t n; (n = read(fd_, buf, sizeof buf)) > 0;)
            out.append(buf, (size_t)n);
        return out;
    }

private:
    void restore()
    {
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
            saved_ = -1;
        }
    }

    int fd_;
    int saved_;
};
