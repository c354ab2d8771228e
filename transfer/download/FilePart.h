// Used under its partial file's lock (every read, write and hash), or by the
// completing worker while the download completes, when nothing else touches it.
//
// One part's byte range [start, end) of a download and the file that holds
// it: byte x of the download is byte x - base of that file.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"

class i4_file;
class MD4;
class Meta;

class FilePart {
public:
    // stale: the part's bytes must be hashed before they are trusted.
    FilePart(const char* name, uint32_t start, uint32_t end, uint32_t base, bool stale);

    // Opens the file that holds the part; this layout has none of its own.
    virtual bool makeTempFile();
    virtual ~FilePart();
    // Deletes the part's own file, if it has one.
    virtual void remove();
    // Adds what a restart needs to trust the part's file, if anything.
    virtual void saveTag(Meta* record, int index);
    // Closes the part's own file: true when one was open.
    virtual bool close();

    // length bytes at download offset into buf; false on a short read.
    bool read(void* buf, uint32_t offset, uint32_t length);
    bool write(const void* data, uint32_t offset, uint32_t length);
    // The first 8 bytes of the MD4 of [from, to), which must lie in the part.
    bool hash(uint32_t from, uint32_t to, uint8_t out[8]);
    bool hashAll(uint8_t out[16]);
    // Feeds [from, to) to the part's running digest and, when given, to a
    // crumb's digest in the same sweep.
    bool feed(uint32_t from, uint32_t to, MD4& part, MD4* crumb);

    i4_file* file;
    i4_string name;
    uint32_t start;
    uint32_t end;
    uint32_t base;
    bool stale;

protected:
    bool ensureOpen();
};
