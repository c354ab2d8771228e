#include "meta/FileHashState.h"

#include <string.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "util/LL.h"
#include "util/LLView.h"

FileHashState::FileHashState()
    : file(nullptr),
      size(0),
      position(0),
      partCount(0),
      crumbCount(0),
      crumbIndex(0),
      partIndex(0),
      buffer(nullptr) {}

FileHashState::~FileHashState() {
    delete file;
    i4_free(buffer);
}

namespace {

// Reads until n bytes arrived or the file has no more; answers the count.
int32_t readFully(i4_file& f, uint8_t* buf, int32_t n) {
    int32_t got = 0;
    while (got < n) {
        int32_t r = f.read(buf + got, n - got);
        if (r <= 0) break;
        got += r;
    }
    return got;
}

}  // namespace

const uint8_t* FileHashState::readChunk(uint32_t n) {
    if (!buffer) buffer = (uint8_t*)i4_malloc(READ_CHUNK);
    if (!file || n > READ_CHUNK || readFully(*file, buffer, (int32_t)n) != (int32_t)n)
        I4_ERROR("not all read");
    return buffer;
}

bool hashPart(uint8_t digest[16], i4_file& f, uint32_t partKiB) {
    uint64_t want = (uint64_t)partKiB * 1024;
    uint8_t* buf = (uint8_t*)i4_malloc(FileHashState::READ_CHUNK);
    MD4 ctx;
    uint64_t done = 0;
    while (done < want) {
        uint64_t left = want - done;
        int32_t n = left < FileHashState::READ_CHUNK ? (int32_t)left : FileHashState::READ_CHUNK;
        int32_t got = readFully(f, buf, n);
        ctx.update(buf, (size_t)got);
        done += (uint64_t)got;
        if (got != n) break;
    }
    i4_free(buf);
    ctx.final(digest);
    return done == want;
}

bool hashFileRange(uint8_t digest[16], i4_file& f, uint64_t start, uint64_t end) {
    if (end < start || f.seek((int64_t)start) != (int64_t)start) return false;
    uint8_t* buf = (uint8_t*)i4_malloc(FileHashState::READ_CHUNK);
    MD4 ctx;
    bool ok = true;
    for (uint64_t at = start; at < end;) {
        uint64_t left = end - at;
        int32_t n = left < FileHashState::READ_CHUNK ? (int32_t)left : FileHashState::READ_CHUNK;
        if (readFully(f, buf, n) != n) {
            ok = false;
            break;
        }
        ctx.update(buf, (size_t)n);
        at += (uint64_t)n;
    }
    i4_free(buf);
    if (ok) ctx.final(digest);
    return ok;
}

bool hashFileParts(uint8_t hash[16], const char* path, uint32_t partKiB, LL* digests) {
    i4_file* f = i4_open(path, I4_READ);
    if (!f) return false;
    int count = 0;
    try {
        // Bounded by the largest file a record can describe, in case the file grows.
        for (uint64_t piece = 0; piece <= FileParts::MAX_SHARED_SIZE / 1024 + 1; ++piece) {
            uint8_t* block = (uint8_t*)i4_malloc(16);
            memset(block, 0, 16);
            bool whole = hashPart(block, *f, partKiB);
            digests->append(block);
            ++count;
            if (!whole || partKiB == 0) break;
        }
    } catch (const i4_err&) {
        delete f;
        throw;
    }
    delete f;
    return hashOfPartHashes(hash, count, digests);
}

bool hashOfPartHashes(uint8_t hash[16], int count, LL* digests) {
    if (count < 2) {
        uint8_t* first = (uint8_t*)digests->removeAt(0);
        if (!first) return false;
        memcpy(hash, first, 16);
        i4_free(first);
        return true;
    }
    MD4 ctx;
    for (uint8_t* d : LLView<uint8_t>(digests)) ctx.update(d, 16);
    ctx.final(hash);
    return true;
}
