// Any thread: `lock` guards the directory list and the incomplete directory; each file
// list has its own lock. findDirectoryFiles answers a list that only the core task thread
// may use, and only until it next changes the share list (nothing else removes
// directories: the hashing thread asks the core task thread to).
//
// share.dat: the directory paths in list order, nothing else ("!Incomplete Files" is
// not written):
//   offset  width  field
//   0       2      path length n
//   2       n      path bytes, no terminator
//   ...            the next path, up to the end of the file
#pragma once

#include <string>
#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/share/ShareDirectory.h"
#include "util/LL.h"

class FileMeta;
class FileList;
class i4_file;

// The directories whose files the client shares, each with the records filed under it,
// and the pseudo directory of the partial files of running downloads. The incoming
// directory is always one of them.
class ShareList {
public:
    static const char* const INCOMPLETE;  // "!Incomplete Files"

    ShareList();
    virtual ~ShareList();

    // The paths of share.dat, each listable one added; then the incoming directory
    // when the file did not name it. A missing file gives the incoming directory alone.
    void load(const char* path);
    // Replaces share.dat whole or not at all; false when it could not be written.
    bool save(const char* path);
    // The bytes save writes; false when a path cannot be put into bytes.
    bool fileBytes(std::string& out);
    // Reads the paths of share.dat's form until the end of f; a path cut short ends the
    // read with an i4_err, the paths before it kept in out.
    static void readPaths(i4_file& f, std::vector<i4_string>& out);

    // With check: nothing when the path cannot be listed, "directory already added." for
    // a path already listed. True when added.
    bool addDirectory(const char* path, bool check);
    // Removes the first directory with the same path.
    void removeDirectory(const char* path);
    // clear, then each path with the check; the incoming directory joins when none of
    // them is it.
    void setDirectories(const std::vector<i4_string>& paths);
    void clear();

    // Files the record under the directory of that name ("!Incomplete Files" for a
    // partial file). A directory that is not listed is never made here, so one the user
    // removed during a hashing pass stays removed; the incoming directory, which is always
    // shared, is the exception. False when nothing was filed.
    bool addFile(const char* directory, FileMeta* record);
    // From the directory of that name; from the incomplete one for null or a name not
    // listed.
    void removeFile(const char* directory, FileMeta* record);
    // Empties every file list; the records stay as they are.
    void clearFiles();
    FileList* findDirectoryFiles(const char* name);
    // Appends a copy of each directory's path, in list order.
    void directoryNames(std::vector<i4_string>& out);
    bool isShared(const char* path);
    int count();

    // The same directory on this system: letters compare exactly, a slash matches a
    // backslash, and one trailing separator makes no difference.
    static bool samePath(const char* a, const char* b);

private:
    ShareList(const ShareList&) = delete;
    ShareList& operator=(const ShareList&) = delete;

    ShareDirectory* findNoLock(const char* path);
    void clearNoLock();
    bool addNoLock(const char* path, bool check);

    i4_mutex lock;
    ShareDirectory incomplete;
    LL directories;
};
