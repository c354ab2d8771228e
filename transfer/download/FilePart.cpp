#include "transfer/download/FilePart.h"

#include <vector>

#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "meta/FileParts.h"
#include "meta/MD4.h"

namespace {

// A whole crumb per read call, the unit that verification sweeps; one
// buffer per thread, reused.
const uint32_t HASH_CHUNK = (uint32_t)FileParts::CRUMB_SIZE;

uint8_t* hashBuffer() {
    thread_local std::vector<uint8_t> buffer(HASH_CHUNK);
    return buffer.data();
}

// Reads until n bytes arrived or the file ends; the count read.
uint32_t readFully(i4_file& f, uint8_t* buf, uint32_t n) {
    uint32_t got = 0;
    while (got < n) {
        int32_t r = f.read(buf + got, (int32_t)(n - got));
        if (r <= 0) break;
        got += (uint32_t)r;
    }
    return got;
}

}  // namespace

FilePart::FilePart(const char* name_, uint32_t start_, uint32_t end_, uint32_t base_, bool stale_)
    : file(nullptr), name(name_), start(start_), end(end_), base(base_), stale(stale_) {}

FilePart::~FilePart() {}

bool FilePart::makeTempFile() {
    theUI->print("ERROR: makeTempFile\n");
    return false;
}

void FilePart::remove() {}

void FilePart::saveTag(Meta*, int) {}

bool FilePart::close() {
    return false;
}

bool FilePart::ensureOpen() {
    if (!file) makeTempFile();
    if (file) return true;
    theUI->print("Couldn't create Temp File\n");
    return false;
}

bool FilePart::read(void* buf, uint32_t offset, uint32_t length) {
    if (!ensureOpen()) return false;
    int64_t at = (int64_t)offset - base;
    uint32_t got = file->seek(at) == at ? readFully(*file, (uint8_t*)buf, length) : 0;
    if (got == length) return true;
    theUI->debug("Not all readc: %d + (%d/%d) %s\n", (int)offset, (int)got, (int)length,
                 name.c_str());
    return false;
}

bool FilePart::write(const void* data, uint32_t offset, uint32_t length) {
    if (!ensureOpen()) return false;
    int64_t at = (int64_t)offset - base;
    int32_t done = file->seek(at) == at ? file->write(data, (int32_t)length) : -1;
    if (done == (int32_t)length) return true;
    theUI->print("Not all written(%d,%d)\n", (int)done, (int)length);
    return false;
}

bool FilePart::feed(uint32_t from, uint32_t to, MD4& part, MD4* crumb) {
    if (from > to || from < start || to > end) return false;
    uint8_t* buf = hashBuffer();
    for (uint32_t at = from; at < to;) {
        uint32_t n = to - at < HASH_CHUNK ? to - at : HASH_CHUNK;
        if (!read(buf, at, n)) return false;
        if (crumb)
            MD4::updateBoth(part, *crumb, buf, n);
        else
            part.update(buf, n);
        at += n;
    }
    return true;
}

bool FilePart::hash(uint32_t from, uint32_t to, uint8_t out[8]) {
    if (from < start || to > end || to < from) {
        theUI->print("ERROR in FilePart::hash(%u,%u)[%u,%u]\n", from, to, start, end);
        return false;
    }
    MD4 ctx;
    if (!feed(from, to, ctx, nullptr)) return false;
    uint8_t digest[16];
    ctx.final(digest);
    for (int i = 0; i < 8; i++) out[i] = digest[i];
    return true;
}

bool FilePart::hashAll(uint8_t out[16]) {
    MD4 ctx;
    if (!feed(start, end, ctx, nullptr)) return false;
    ctx.final(out);
    return true;
}
