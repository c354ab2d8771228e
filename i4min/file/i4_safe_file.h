// Threads: one owner at a time; two safe files for the same name must not
// be open at once (they would share the ".bak" name).
#pragma once

#include "i4min/string/i4_string.h"

class i4_file;

// A state file that is never seen half-written.
//
// Writing (flags with I4_WRITE): the file under its own name stays as it is
// while the new content goes to name + ".bak" (starting from a copy of the
// old content unless I4_TRUNCATE is given). close() flushes and syncs the
// ".bak" and renames it over the name; a failed write or sync leaves the old
// file in place, removes the ".bak" and makes close() return false.
//
// Reading: the file under its own name; when that is missing, the ".bak",
// which is then the only copy there is.
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

    const i4_string& name() const { return file_name; }
    const i4_string& backup_name() const { return bak_name; }

private:
    i4_safe_file(const i4_safe_file&) = delete;
    i4_safe_file& operator=(const i4_safe_file&) = delete;

    class checked_file;

    i4_file* file;
    checked_file* writer;  // the same object as file while writing
    int fd;
    bool closed;
    bool result;
    int exceptionsAtOpen;  // an exception beyond these leaves the content incomplete
    i4_string file_name;
    i4_string bak_name;
};
