// Used under the lock of the ShareList that holds it; the file list has its own lock.
#pragma once

#include "i4min/string/i4_string.h"
#include "meta/FileList.h"

// One shared directory: its path as it was added and the shared records filed under it.
// The records belong to the gateway's shared list: this list never deletes them.
class ShareDirectory {
public:
    explicit ShareDirectory(const char* path);
    // Frees only the list's nodes.
    virtual ~ShareDirectory();

    const i4_string& getPath() const { return path; }
    FileList* getFiles() { return &files; }

private:
    ShareDirectory(const ShareDirectory&) = delete;
    ShareDirectory& operator=(const ShareDirectory&) = delete;

    i4_string path;
    FileList files;
};
