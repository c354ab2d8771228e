#ifndef _FILE_OFFSET_BITS
#define _FILE_OFFSET_BITS 64
#endif

#include "i4min/file/i4_safe_file.h"

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_unix_file_class.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"

namespace {

// The names being written now. Never destroyed: a writer may close during exit.
struct WritingNames {
    std::mutex lock;
    std::condition_variable freed;
    std::set<std::string> names;
};
WritingNames& writing() {
    static WritingNames* w = new WritingNames;
    return *w;
}

// Two saves of one file at once could leave the older content standing.
void take_turn_at(const std::string& name) {
    WritingNames& w = writing();
    std::unique_lock<std::mutex> hold(w.lock);
    w.freed.wait(hold, [&] { return w.names.count(name) == 0; });
    w.names.insert(name);
}

void end_turn_at(const std::string& name) {
    WritingNames& w = writing();
    i4_lock hold(&w.lock);
    w.names.erase(name);
    w.freed.notify_all();
}

const char TEMP_MARK[] = ".tmp-";
const int TEMP_RANDOM = 6;
const char TEMP_LETTERS[] = "abcdefghijklmnopqrstuvwxyz0123456789";

std::string directory_of(const std::string& name) {
    size_t slash = name.rfind('/');
    return slash == std::string::npos ? "." : name.substr(0, slash + 1);
}

// Makes a rename or an unlink inside the directory durable.
void sync_directory_of(const std::string& name) {
    int fd = ::open(directory_of(name).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool exists(const std::string& name) {
    struct stat st;
    return ::lstat(name.c_str(), &st) == 0;
}

// A regular file opened for reading, or -1 with *why saying what is wrong.
// O_NONBLOCK: a FIFO under the name must not stop the client; it is refused
// once opened.
int open_regular(const std::string& name, const char** why) {
    int fd;
    do {
        fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        *why = strerror(errno);
        return -1;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        *why = strerror(errno);
        ::close(fd);
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? strerror(EISDIR) : "not a regular file";
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

// Six characters that differ between processes and calls; O_EXCL makes the
// name fresh whatever they are.
std::string temp_suffix() {
    static std::atomic<uint32_t> calls{0};
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    uint64_t v = (uint64_t)now.tv_nsec ^ (uint64_t)::getpid() << 30 ^
                 (uint64_t)calls.fetch_add(1) * 0x9E3779B97F4A7C15ull;
    std::string s;
    for (int i = 0; i < TEMP_RANDOM; i++, v /= sizeof TEMP_LETTERS - 1)
        s += TEMP_LETTERS[v % (sizeof TEMP_LETTERS - 1)];
    return s;
}

bool is_temp_of(const char* entry, const std::string& base) {
    size_t n = base.size(), mark = sizeof TEMP_MARK - 1;
    if (strncmp(entry, base.c_str(), n) != 0 || strncmp(entry + n, TEMP_MARK, mark) != 0)
        return false;
    const char* rest = entry + n + mark;
    if (strlen(rest) != (size_t)TEMP_RANDOM) return false;
    for (const char* p = rest; *p; p++)
        if (!strchr(TEMP_LETTERS, *p)) return false;
    return true;
}

// Writers killed before their rename leave their temporary files behind.
void remove_leftovers(const std::string& name) {
    std::string dir = directory_of(name);
    std::string base = name.substr(name.rfind('/') == std::string::npos ? 0 : name.rfind('/') + 1);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    bool removed = false;
    while (struct dirent* e = ::readdir(d)) {
        if (!is_temp_of(e->d_name, base)) continue;
        std::string path = dir == "." ? e->d_name : dir + e->d_name;
        if (::unlink(path.c_str()) == 0) removed = true;
    }
    ::closedir(d);
    if (removed) sync_directory_of(name);
}

}  // namespace

// Passes everything to the disk file and remembers whether any write fell
// short, so that close() can refuse to put a damaged file in place.
class i4_safe_file::checked_file : public i4_file {
public:
    explicit checked_file(i4_file* base) : base(base), failed(false), error(0) {}
    ~checked_file() override { delete base; }

    void flush() override { base->flush(); }
    int32_t read(void* buf, int32_t n) override { return base->read(buf, n); }
    int32_t write(const void* buf, int32_t n) override {
        errno = 0;
        int32_t done = base->write(buf, n);
        if (done != n) {
            if (!failed) error = errno;
            failed = true;
        }
        return done;
    }
    int64_t seek(int64_t pos) override { return base->seek(pos); }
    int64_t size() override { return base->size(); }
    int64_t tell() override { return base->tell(); }

    i4_file* base;
    bool failed;
    int error;  // errno of the first short write, 0 when unknown
};

i4_safe_file::i4_safe_file(const char* name, int flags)
    : file(nullptr),
      writer(nullptr),
      fd(-1),
      closed(false),
      result(true),
      backup_open(false),
      holds_name(false),
      exceptionsAtOpen(std::uncaught_exceptions()),
      file_name(name),
      bak_name(name),
      temp_name(""),
      problem(static_cast<const char*>(nullptr)) {
    if (!name) {
        closed = true;
        return;
    }
    bak_name.append(".bak");
    if (flags & I4_WRITE)
        open_for_writing(flags);
    else
        open_for_reading();
}

void i4_safe_file::fail(const char* why) {
    if (!problem.c_str()) problem = why;
    result = false;
}

void i4_safe_file::open_for_reading() {
    std::string real = i4_os_path(file_name.c_str());
    remove_leftovers(real);
    const char* why = nullptr;
    int d = open_regular(real, &why);
    if (d < 0) {
        // Missing is normal (a first start); anything else is worth saying.
        if (exists(real)) problem = why;
        use_backup();
        return;
    }
    file = new i4_unix_file_class(d);
}

bool i4_safe_file::use_backup() {
    if (writer || closed) return false;
    delete file;
    file = nullptr;
    if (backup_open) return false;
    const char* why = nullptr;
    int d = open_regular(i4_os_path(bak_name.c_str()), &why);
    if (d < 0) return false;
    file = new i4_unix_file_class(d);
    backup_open = true;
    return true;
}

void i4_safe_file::open_for_writing(int flags) {
    std::string real = i4_os_path(file_name.c_str());
    closed = true;  // until the writer stands
    take_turn_at(real);
    holds_name = true;

    // What the name holds now must be readable, or it is not ours to replace.
    int old_fd = -1;
    if (exists(real)) {
        const char* why = nullptr;
        old_fd = open_regular(real, &why);
        if (old_fd < 0) {
            fail(why);
            return;
        }
    }

    std::string temp;
    int d = -1;
    for (int tries = 0; d < 0 && tries < 100; tries++) {
        temp = real + TEMP_MARK + temp_suffix();
        // 0666 less the umask, as every file the client makes.
        d = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (d < 0 && errno != EEXIST && errno != EINTR) break;
    }
    if (d < 0) {
        fail(strerror(errno));
        if (old_fd >= 0) ::close(old_fd);
        return;
    }
    temp_name = temp.c_str();
    fd = d;
    writer = new checked_file(new i4_unix_file_class(d));
    file = writer;
    closed = false;

    // An update starts from the old content.
    if (old_fd >= 0) {
        if (!(flags & I4_TRUNCATE)) {
            i4_unix_file_class old_file(old_fd);
            old_fd = -1;
            int64_t n;
            if (!i4_copy_stream(old_file, *writer, -1, &n) || writer->seek(0) != 0) {
                writer->failed = true;
                if (!writer->error) writer->error = errno;
            }
        } else {
            ::close(old_fd);
        }
    }
    if (flags & I4_APPEND) ::fcntl(d, F_SETFL, ::fcntl(d, F_GETFL) | O_APPEND);
}

i4_safe_file::~i4_safe_file() {
    bool asked = closed;
    // A writer stopped by an exception wrote only part of what it meant to.
    if (writer && std::uncaught_exceptions() > exceptionsAtOpen) writer->failed = true;
    if (!close() && !asked)
        I4_WARNING("could not save %s (%s); the previous version was kept", file_name.c_str(),
                   error() ? error() : "write failed");
    let_go_of_name();
}

void i4_safe_file::let_go_of_name() {
    if (!holds_name) return;
    holds_name = false;
    end_turn_at(i4_os_path(file_name.c_str()));
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
    std::string real = i4_os_path(file_name.c_str()), temp = temp_name.c_str();
    writer->flush();
    bool ok = !writer->failed;
    if (!ok) fail(writer->error ? strerror(writer->error) : "write failed");
    if (ok && ::fsync(fd) != 0) {
        fail(strerror(errno));
        ok = false;
    }
    delete writer;  // closes fd
    writer = nullptr;
    file = nullptr;
    fd = -1;
    if (ok && ::rename(temp.c_str(), real.c_str()) != 0) {
        fail(strerror(errno));
        ok = false;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        let_go_of_name();
        return result = false;
    }
    // The name holds a good copy now: an older ".bak" has served its turn.
    ::unlink(i4_os_path(bak_name.c_str()).c_str());
    sync_directory_of(real);
    let_go_of_name();
    return result = true;
}

bool i4_save_whole(const char* name, const void* bytes, int32_t n) {
    i4_safe_file out(name, I4_WRITE | I4_TRUNCATE);
    bool ok = out.get() && n >= 0 && out.get()->write(bytes, n) == n;
    return out.close() && ok;
}
