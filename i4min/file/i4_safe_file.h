// Threads: one owner at a time. Writers of the same name in this process take
// turns: a second one waits in its constructor until the first has closed (so a
// thread must not open two writers of one name). Another process must not write
// the same name (the base directory's lock keeps other clients out).
#pragma once

#include <cstdint>

#include "i4min/string/i4_string.h"

class i4_file;

// A state file that is never seen half-written, and whose last good copy is
// never truncated or deleted by a save.
//
// Writing (flags with I4_WRITE): the new content goes to a fresh temporary
// file beside the name (name + ".tmp-" and six characters), starting from a
// copy of the old content unless I4_TRUNCATE is given. close() flushes and
// syncs it, renames it over the name and syncs the directory; only then is a
// ".bak" left by an earlier version removed. A failed write, sync or rename
// removes the temporary file alone: the file and its ".bak" stay as they were.
// A name that holds something the writer could not have read (a directory, a
// FIFO, a file without read permission) is never replaced.
//
// Reading: the file under its name; when that is missing or cannot be read as
// a regular file, the ".bak". A reader that finds the file damaged asks for
// the ".bak" with use_backup(). Opening never blocks, even on a FIFO. The
// temporary files of writers that were killed are removed when the file is
// read (it is read once at start, before anything writes it).
class i4_safe_file {
public:
    // A null name opens nothing.
    i4_safe_file(const char* name, int flags);
    // Closes as close() does; a failure that nobody asked about is warned of.
    // Left by an exception, the new content counts as failed: the old stays.
    virtual ~i4_safe_file();

    // The opened file, or null when the open failed.
    i4_file* get();

    // Ends the file. Writing: true when the new content now stands under the
    // name. Reading: true. Later calls answer the same.
    bool close();

    // Reading: gives up the file under the name, which the caller found
    // damaged, for the ".bak". False, and get() null, when no ".bak" can be
    // read or it is the one already open.
    bool use_backup();
    // Reading: true while the open file is the ".bak".
    bool reading_backup() const { return backup_open; }

    // Why the file under the name could not be read although it is there, or
    // why a save failed ("Is a directory", "No space left on device", ...);
    // null when nothing went wrong. A missing file is no error.
    const char* error() const { return problem.c_str(); }

    const i4_string& name() const { return file_name; }
    const i4_string& backup_name() const { return bak_name; }

private:
    i4_safe_file(const i4_safe_file&) = delete;
    i4_safe_file& operator=(const i4_safe_file&) = delete;

    class checked_file;

    void open_for_reading();
    void open_for_writing(int flags);
    void fail(const char* why);
    void let_go_of_name();

    i4_file* file;
    checked_file* writer;  // the same object as file while writing
    int fd;
    bool closed;
    bool result;
    bool backup_open;
    bool holds_name;       // this writer's turn at the name
    int exceptionsAtOpen;  // an exception beyond these leaves the content incomplete
    i4_string file_name;
    i4_string bak_name;
    i4_string temp_name;  // the writer's fresh file, "" when there is none
    i4_string problem;    // null text while nothing went wrong
};

// Replaces the named state file with the n bytes through a safe file: true when they now
// stand under the name; on false the old file is as it was.
bool i4_save_whole(const char* name, const void* bytes, int32_t n);
