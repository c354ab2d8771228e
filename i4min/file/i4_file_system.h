// Threads: any; these functions keep no state of their own. The open hooks
// are set once before other threads start.
#pragma once

#include <cstdint>
#include <string>

class i4_file;

// Flag bits of i4_open; other bits are ignored.
enum {
    I4_READ = 1,
    I4_WRITE = 2,
    I4_APPEND = 4,   // with I4_WRITE: every write goes to the end
    I4_TRUNCATE = 8  // with I4_WRITE: emptied first
};

// Opens a file by name: an i4_unix_file_class, or whatever a hook supplies,
// or null. Any flags with I4_WRITE create a missing file with mode 0666 less
// the umask; without I4_READ or I4_WRITE nothing is opened. The name is
// translated by i4_os_name.
i4_file* i4_open(const char* name, int flags);

// The same open, handing back the bare descriptor (-1 on failure) for
// callers that must sync it; the hooks are not consulted.
int i4_open_descriptor(const char* name, int flags);

typedef i4_file* (*i4_open_hook)(const char* name, int flags);
// `before` is asked first, `after_failure` when the platform's open failed;
// either may supply a file. Null hooks (the default) supply nothing.
void i4_set_open_hooks(i4_open_hook before, i4_open_hook after_failure);

// Copies the name into buffer (at most n-1 characters and a terminator),
// turning names written in another system's manner into ours: a backslash
// anywhere becomes '/'; a leading "c:/" becomes "/" and a leading "x:" "/u"
// (lower-case drive letters only). Returns the buffer.
char* i4_os_name(const char* name, char* buffer, int n);
// The same translation, never cut: a name too long for the system is refused
// by the system (ENAMETOOLONG), never shortened into another name.
std::string i4_os_path(const char* name);

// 1 on success, 0 on failure. i4_unlink translates the name; the others
// use it unchanged.
int i4_unlink(const char* name);
int i4_mkdir(const char* name);
int i4_rmdir(const char* name);
int i4_truncate(const char* name, int64_t length);

// Moves a file, copying it when the two names lie on different file
// systems. 0 on success, 1 on failure (the source then stays whole).
int i4_rename(const char* old_name, const char* new_name);
// Moves a file to a name that must not exist yet: an existing file there is
// never replaced, also when another thread or process makes it meanwhile.
// Across file systems the file is copied beside the target, synced, and then
// put in place the same way. 0 on success, 1 on failure, 2 when the name is
// taken; the source stays whole unless the move succeeded.
int i4_rename_no_replace(const char* old_name, const char* new_name);
// The same as i4_rename with true on failure.
bool i4_move(const char* old_name, const char* new_name);

// Bytes an unprivileged user may still write on the file system holding the
// path; just under one TiB when the file system cannot be asked.
int64_t i4_free_space(const char* path);
const int64_t I4_UNKNOWN_FREE_SPACE = 1099494785025LL;

// Copies from `from` to `to` in chunks of 40,960 bytes until `from` ends or
// `limit` bytes went over (a negative limit copies everything). True when it
// stopped at the end or the limit, false on a read error or a short write;
// *copied counts the bytes written.
bool i4_copy_stream(i4_file& from, i4_file& to, int64_t limit, int64_t* copied);

// Appends all of file b to file a; true only when all of b arrived. On
// failure a is cut back to its old size.
bool i4_append_file(const char* a, const char* b);

// Moves the last n bytes of file a into file b (b replaced). n equal to a's
// size renames a to b; n above it is refused. 1 on success, else 0 with a
// unchanged.
int i4_cut_tail(const char* a, const char* b, int64_t n);
