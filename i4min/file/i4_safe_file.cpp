#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_safe_file.h"

#include <cstdio>
#include <exception>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_unix_file_class.h"
#include "i4min/string/i4_err.h"

namespace {

std::string os_name(const char* name) {
    char buf[4096];
    return i4_os_name(name, buf, sizeof buf);
}

// Makes the rename of a file inside the directory durable.
void sync_directory_of(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string dir = slash == std::string::npos ? "." : name.substr(0, slash + 1);
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool exists(const std::string& name) {
    return ::access(name.c_str(), F_OK) == 0;
}

}  // namespace

// Passes everything to the disk file and remembers whether any write fell
// short, so that close() can refuse to put a damaged file in place.
class i4_safe_file::checked_file : public i4_file {
public:
    explicit checked_file(i4_file* base) : base(base), failed(false) {}
    ~checked_file() override { delete base; }

    void flush() override { base->flush(); }
    int32_t read(void* buf, int32_t n) override { return base->read(buf, n); }
    int32_t write(const void* buf, int32_t n) override {
        int32_t done = base->write(buf, n);
        if (done != n) failed = true;
        return done;
    }
    int64_t seek(int64_t pos) override { return base->seek(pos); }
    int64_t size() override { return base->size(); }
    int64_t tell() override { return base->tell(); }

    i4_file* base;
    bool failed;
};

i4_safe_file::i4_safe_file(const char* name, int flags)
    : file(nullptr),
      writer(nullptr),
      fd(-1),
      closed(false),
      result(true),
      exceptionsAtOpen(std::uncaught_exceptions()),
      file_name(name),
      bak_name(name) {
    if (!name) {
        closed = true;
        return;
    }
    bak_name.append(".bak");

    if (!(flags & I4_WRITE)) {
        file = i4_open(name, flags);
        if (!file) file = i4_open(bak_name.c_str(), flags);
        return;
    }

    // An update starts from the old content; the file under the name is
    // never written to.
    std::string real = os_name(name), bak = os_name(bak_name.c_str());
    if (!(flags & I4_TRUNCATE) && exists(real)) {
        i4_file* old_file = i4_open(name, I4_READ);
        int copy_fd = i4_open_descriptor(bak_name.c_str(), I4_WRITE | I4_TRUNCATE);
        bool copied = false;
        if (old_file && copy_fd >= 0) {
            i4_unix_file_class copy(copy_fd);
            copy_fd = -1;
            int64_t n;
            copied = i4_copy_stream(*old_file, copy, -1, &n);
        }
        if (copy_fd >= 0) ::close(copy_fd);
        delete old_file;
        if (!copied) {
            ::unlink(bak.c_str());
            result = false;
            closed = true;
            return;
        }
    }
    fd = i4_open_descriptor(bak_name.c_str(), flags);
    if (fd < 0) {
        result = false;
        closed = true;
        return;
    }
    writer = new checked_file(new i4_unix_file_class(fd));
    file = writer;
}

i4_safe_file::~i4_safe_file() {
    bool asked = closed;
    // A writer stopped by an exception wrote only part of what it meant to.
    if (writer && std::uncaught_exceptions() > exceptionsAtOpen) writer->failed = true;
    if (!close() && !asked)
        I4_WARNING("could not save %s; the previous version was kept", file_name.c_str());
}

i4_file* i4_safe_file::get() {
    return file;
}

bool i4_safe_file::close() {
    if (closed) return result;
    closed = true;
    if (!writer) {
        delete file;
        file = nullptr;
        return result = true;
    }
    std::string real = os_name(file_name.c_str()), bak = os_name(bak_name.c_str());
    writer->flush();
    bool ok = !writer->failed && ::fsync(fd) == 0;
    delete writer;  // closes fd
    writer = nullptr;
    file = nullptr;
    fd = -1;
    if (ok && ::rename(bak.c_str(), real.c_str()) != 0) ok = false;
    if (ok)
        sync_directory_of(real);
    else
        ::unlink(bak.c_str());
    return result = ok;
}
