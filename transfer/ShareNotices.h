// Called by partial files and the download pool on the core task thread and,
// for a verifying or completing download, on the worker that runs it; an
// implementation that belongs to the core task thread must hand the notice
// over (post it).
//
// What the download side tells the list of shared files. Until the transfer
// gateway takes this over, nothing is shared: the bodies keep no list.
#pragma once

#include <stdint.h>

class FileMeta;

class ShareNotices {
public:
    virtual ~ShareNotices();
    // The record (owned from here on) joins the shared files; an empty path
    // marks a partial file. The default deletes it.
    virtual void fileHashed(FileMeta* record);
    // The shared entry of the file (found by the record's hash) leaves.
    virtual void unshareFile(FileMeta* record);
    // The finished file now lies at path: its shared entry takes the path and
    // time. False when the shared files hold no entry for the hash; the
    // default has nothing to update and answers true.
    virtual bool fileMoved(const uint8_t* fileHash, const char* path, uint32_t modTime);
    // Whether a complete file with this hash is shared already.
    virtual bool isShared(const uint8_t* fileHash);
};

// Never null: the do-nothing notices until the transfer gateway sets itself.
extern ShareNotices* theShareNotices;
