#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_file_system.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_unix_file_class.h"

namespace {

const int32_t COPY_CHUNK = 40960;

i4_open_hook hook_before = nullptr;
i4_open_hook hook_after_failure = nullptr;

int open_mode(int flags) {
    bool read = flags & I4_READ, write = flags & I4_WRITE;
    if (!read && !write) return -1;
    int mode = write ? (read ? O_RDWR : O_WRONLY) | O_CREAT : O_RDONLY;
    if (write && (flags & I4_APPEND)) mode |= O_APPEND;
    if (write && (flags & I4_TRUNCATE)) mode |= O_TRUNC;
    return mode | O_CLOEXEC;
}

// Opens a disk file, also handing back its descriptor for syncing.
i4_unix_file_class* open_unix(const char* name, int flags, int* fd) {
    *fd = i4_open_descriptor(name, flags);
    return *fd < 0 ? nullptr : new i4_unix_file_class(*fd);
}

}  // namespace

bool i4_copy_stream(i4_file& from, i4_file& to, int64_t limit, int64_t* copied) {
    std::vector<char> buf(COPY_CHUNK);
    *copied = 0;
    for (;;) {
        int32_t want = COPY_CHUNK;
        if (limit >= 0) {
            if (*copied >= limit) return true;
            if (limit - *copied < want) want = static_cast<int32_t>(limit - *copied);
        }
        int32_t got = from.read(buf.data(), want);
        if (got == 0) return true;
        if (got < 0) return false;
        if (to.write(buf.data(), got) != got) return false;
        *copied += got;
    }
}

std::string i4_os_path(const char* name) {
    const char* p = name ? name : "";
    // Drive prefixes only make sense at the very start: "Remix: Live.mp3"
    // is a name, not a drive.
    std::string out;
    out.reserve(strlen(p) + 1);
    if (p[0] == 'c' && p[1] == ':' && (p[2] == '/' || p[2] == '\\')) {
        out += '/';
        p += 3;
    } else if (p[0] == 'x' && p[1] == ':') {
        out += "/u";
        p += 2;
    }
    for (; *p; p++) out += *p == '\\' ? '/' : *p;
    return out;
}

char* i4_os_name(const char* name, char* buffer, int n) {
    if (n <= 0) return buffer;
    std::string path = i4_os_path(name);
    size_t keep =
        path.size() < static_cast<size_t>(n - 1) ? path.size() : static_cast<size_t>(n - 1);
    memcpy(buffer, path.data(), keep);
    buffer[keep] = 0;
    return buffer;
}

int i4_open_descriptor(const char* name, int flags) {
    int mode = open_mode(flags);
    if (mode < 0 || !name) return -1;
    std::string os_name = i4_os_path(name);
    int fd;
    do {
        // 0666: downloads and state files are data, never executable.
        fd = ::open(os_name.c_str(), mode, 0666);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

i4_file* i4_open(const char* name, int flags) {
    if (hook_before)
        if (i4_file* f = hook_before(name, flags)) return f;
    int fd = i4_open_descriptor(name, flags);
    if (fd >= 0) return new i4_unix_file_class(fd);
    if (hook_after_failure) return hook_after_failure(name, flags);
    return nullptr;
}

void i4_set_open_hooks(i4_open_hook before, i4_open_hook after_failure) {
    hook_before = before;
    hook_after_failure = after_failure;
}

int i4_unlink(const char* name) {
    if (!name) return 0;
    return ::unlink(i4_os_path(name).c_str()) == 0;
}

int i4_mkdir(const char* name) {
    // Plain directory permissions: set-id and sticky bits on the client's
    // own directories would only surprise the user.
    return name && ::mkdir(name, 0777) == 0;
}

int i4_rmdir(const char* name) {
    return name && ::rmdir(name) == 0;
}

int i4_truncate(const char* name, int64_t length) {
    if (!name || length < 0) return 0;
    return ::truncate(name, static_cast<off_t>(length)) == 0;
}

int i4_rename(const char* old_name, const char* new_name) {
    if (!old_name || !new_name) return 1;
    if (::rename(old_name, new_name) == 0) return 0;
    if (errno != EXDEV) return 1;

    i4_file* from = i4_open(old_name, I4_READ);
    if (!from) return 1;
    int64_t size = from->size();
    int fd;
    i4_unix_file_class* to = open_unix(new_name, I4_WRITE | I4_TRUNCATE, &fd);
    if (!to) {
        delete from;
        return 1;
    }
    int64_t copied;
    bool ok = i4_copy_stream(*from, *to, -1, &copied) && copied == size;
    to->flush();
    // The source goes away next: the copy must be on the disk first.
    if (ok && ::fsync(fd) != 0) ok = false;
    delete to;
    delete from;
    if (ok) {
        i4_unlink(old_name);
        return 0;
    }
    i4_unlink(new_name);
    return 1;
}

namespace {

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

enum { MOVED = 0, FAILED = 1, TAKEN = 2, OTHER_FILE_SYSTEM = 3 };

// Puts a file under a free name on the same file system without ever
// replacing one: the kernel's no-replace rename, or a hard link where the
// file system lacks it.
int move_no_replace(const char* from, const char* to) {
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return MOVED;
    if (errno == EEXIST) return TAKEN;
    if (errno == EXDEV) return OTHER_FILE_SYSTEM;
    if (errno != EINVAL && errno != ENOSYS) return FAILED;
#endif
    if (::link(from, to) == 0) {
        ::unlink(from);
        return MOVED;
    }
    if (errno == EEXIST) return TAKEN;
    return errno == EXDEV ? OTHER_FILE_SYSTEM : FAILED;
}

}  // namespace

int i4_rename_no_replace(const char* old_name, const char* new_name) {
    if (!old_name || !new_name) return FAILED;
    int r = move_no_replace(old_name, new_name);
    if (r != OTHER_FILE_SYSTEM) return r;

    // A copy beside the target first, so the target appears whole or not at all.
    static std::atomic<unsigned> serial(0);
    std::string temp;
    int fd = -1;
    for (int tries = 0; fd < 0 && tries < 100; tries++) {
        char suffix[48];
        snprintf(suffix, sizeof suffix, ".%ld.%u.moving", (long)::getpid(), serial++);
        temp = std::string(new_name) + suffix;
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return FAILED;
    i4_unix_file_class to(fd);
    i4_file* from = i4_open(old_name, I4_READ);
    int64_t copied = 0;
    bool ok = from && i4_copy_stream(*from, to, -1, &copied) && copied == from->size() &&
              ::fsync(fd) == 0;
    delete from;
    r = ok ? move_no_replace(temp.c_str(), new_name) : FAILED;
    if (r != MOVED) {
        ::unlink(temp.c_str());
        return r == TAKEN ? TAKEN : FAILED;
    }
    i4_unlink(old_name);
    return MOVED;
}

bool i4_move(const char* old_name, const char* new_name) {
    return i4_rename(old_name, new_name) != 0;
}

int64_t i4_free_space(const char* path) {
    struct statvfs st;
    if (!path || ::statvfs(path, &st) != 0) return I4_UNKNOWN_FREE_SPACE;
    return static_cast<int64_t>(static_cast<uint64_t>(st.f_bavail) * st.f_frsize);
}

namespace {

// Both names may reach one file (the same name, a link, "./a"): joining or
// cutting a file onto itself would grow it without end or empty it.
bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    if (::stat(i4_os_path(a).c_str(), &sa) != 0) return false;
    if (::stat(i4_os_path(b).c_str(), &sb) != 0) return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

}  // namespace

bool i4_append_file(const char* a, const char* b) {
    if (same_file(a, b)) return false;
    i4_file* from = i4_open(b, I4_READ);
    if (!from) return false;
    int fd;
    i4_unix_file_class* to = open_unix(a, I4_WRITE, &fd);
    if (!to) {
        delete from;
        return false;
    }
    int64_t old_size = to->size();
    int64_t copied = 0;
    bool ok = to->seek(old_size) == old_size && i4_copy_stream(*from, *to, -1, &copied);
    to->flush();
    if (ok && ::fsync(fd) != 0) ok = false;
    delete to;
    delete from;
    // A half-joined file is worse than an unjoined one: the caller can retry.
    if (!ok) i4_truncate(a, old_size);
    return ok;
}

int i4_cut_tail(const char* a, const char* b, int64_t n) {
    if (n < 0 || same_file(a, b)) return 0;
    i4_file* from = i4_open(a, I4_READ);
    if (!from) return 0;
    int64_t size = from->size();
    if (n == size) {
        delete from;
        return i4_rename(a, b) == 0;
    }
    if (n > size) {
        delete from;
        return 0;
    }
    int fd;
    i4_unix_file_class* to = open_unix(b, I4_WRITE | I4_TRUNCATE, &fd);
    if (!to) {
        delete from;
        return 0;
    }
    int64_t copied = 0;
    bool ok =
        from->seek(size - n) == size - n && i4_copy_stream(*from, *to, n, &copied) && copied == n;
    to->flush();
    // The tail must be safe in b before it is cut from a.
    if (ok && ::fsync(fd) != 0) ok = false;
    delete to;
    delete from;
    return ok && i4_truncate(a, size - n);
}
