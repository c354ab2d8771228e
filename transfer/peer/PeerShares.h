// Core task thread only.
#pragma once

#include <cstdint>

class FileList;
class FileMeta;
class LL;

// What the peer protocol asks of the shared files and directories. The transfer gateway answers it
// once it is built (the transfer side's start puts its answer in the services); until then these
// bodies answer as a client that shares nothing.
class PeerShares {
public:
    virtual ~PeerShares() {}

    virtual bool isShared(const uint8_t hash[16]);
    // Copies the shared record with that hash into out (tags, path, hashes); false when the
    // file is not shared. A record with a path is a complete file, one without a partial file.
    virtual bool copyShared(const uint8_t hash[16], FileMeta* out);
    // Appends a new i4_string per shared directory, in the share list's order; the caller
    // deletes them.
    virtual void getSharedDirectories(LL* names);
    // The file list of that shared directory (or of "!Incomplete Files"), or null. Valid while
    // the handler runs on the core task thread; its own lock guards its nodes.
    virtual FileList* findSharedDirectory(const char* name);
};
