// The progress of hashing one local file into its record, and the part-wise
// digest functions. A state is owned and used by the hashing thread alone; the
// functions keep no state and may run on any thread.
#pragma once

#include <stdint.h>

#include "meta/FileParts.h"
#include "meta/MD4.h"

class i4_file;
class LL;

class FileHashState {
public:
    // The file layer under the 1024-byte hashing block: one read fills this much.
    enum { READ_CHUNK = 64 * 1024 };

    FileHashState();
    // Closes and deletes the file.
    ~FileHashState();
    FileHashState(const FileHashState&) = delete;
    FileHashState& operator=(const FileHashState&) = delete;

    // Reads exactly n (at most READ_CHUNK) bytes at the file's position into the
    // state's buffer; a short read reports "not all read".
    const uint8_t* readChunk(uint32_t n);

    i4_file* file;
    uint64_t size;
    uint64_t position;
    uint64_t partCount;
    uint64_t crumbCount;
    uint64_t crumbIndex;
    uint64_t partIndex;
    // The current part, or the whole file when the record keeps no part hashes.
    MD4 partContext;

private:
    uint8_t* buffer;
};

// MD4 of the next partKiB x 1024 bytes of f. The digest is written in every case
// (of what could be read); true only when the whole part was read.
bool hashPart(uint8_t digest[16], i4_file& f, uint32_t partKiB);
// MD4 of [start, end) of f; false on a failed seek or a short read.
bool hashFileRange(uint8_t digest[16], i4_file& f, uint64_t start, uint64_t end);
// The whole-file check at completion: hashes floor(size / part) + 1 pieces of the
// file, appending each digest to the list as a 16-byte block from i4_malloc that the
// list's holder frees; false when the file cannot be opened.
bool hashFileParts(uint8_t hash[16], const char* path, uint32_t partKiB, LL* digests);
// With fewer than 2 digests the hash is the list's first one, which is removed and
// freed (false for an empty list); otherwise the MD4 of all of them in order.
bool hashOfPartHashes(uint8_t hash[16], int count, LL* digests);
