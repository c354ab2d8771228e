#include "meta/FileMeta.h"

#include <stdlib.h>
#include <string.h>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "meta/FileHashState.h"
#include "meta/FileParts.h"
#include "meta/MD4.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"

FileMeta::FileMeta() : crumbHashes(nullptr), partHashes(nullptr), modTime(0), path("") {
    memset(fileHash, 0, sizeof fileHash);
}

FileMeta::FileMeta(FileMeta& other) : FileMeta() {
    copyFrom(&other);
}

FileMeta::FileMeta(const char* p, FileHashState& state) : FileMeta() {
    path = p;
    const char* name = p ? p : "";
    for (const char* c = name; *c; ++c)
        if (*c == '/' || *c == '\\') name = c + 1;
    setName(name);
    i4_file* f = i4_open(p, I4_READ);
    if (!f) I4_ERROR("couldn't open");
    int64_t size = f->size();
    if (size < 0 || !FileParts::isShareable((uint64_t)size)) {
        delete f;
        I4_ERROR("file too large to share");
    }
    setFileSize((uint32_t)size);
    delete state.file;
    FileParts parts((uint64_t)size);
    state.file = f;
    state.size = (uint64_t)size;
    state.position = 0;
    state.partCount = parts.partCount();
    state.crumbCount = parts.crumbCount();
    state.crumbIndex = 0;
    state.partIndex = 0;
    state.partContext.init();
    if (state.partCount >= 2) partHashes = (uint8_t*)calloc(state.partCount, 16);
    if (state.crumbCount >= 2) crumbHashes = (uint8_t*)calloc(state.crumbCount, 8);
}

FileMeta::~FileMeta() {
    freeHashes();
}

void FileMeta::freeHashes() {
    free(partHashes);
    free(crumbHashes);
    partHashes = nullptr;
    crumbHashes = nullptr;
}

void FileMeta::setFileHash(const uint8_t hash[16]) {
    memcpy(fileHash, hash, 16);
}

int FileMeta::partCount() {
    return (int)FileParts(getFileSize()).partCount();
}

int FileMeta::crumbCount() {
    return (int)FileParts(getFileSize()).crumbCount();
}

bool FileMeta::hasPartHashes() {
    return partCount() < 2 || partHashes;
}

bool FileMeta::hasCrumbHashes() {
    return crumbCount() < 2 || crumbHashes;
}

const uint8_t* FileMeta::getPartHash(int index) {
    int parts = partCount();
    if (index < 0 || index >= parts) return nullptr;
    if (partHashes) return partHashes + 16 * index;
    return parts == 1 ? fileHash : nullptr;
}

uint64_t FileMeta::getCrumbHash(int index) {
    if (!crumbHashes || index < 0 || index >= crumbCount()) return 0;
    return crumbValue(crumbHashes + 8 * index);
}

uint64_t FileMeta::crumbValue(const uint8_t digest[16]) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | digest[i];
    return v;
}

bool FileMeta::isSameFile(uint32_t size, uint32_t time, const char* name) {
    MetaTag* tag = findTag(SpecialTagInfo::get(SpecialTagInfo::NAME)->tagName);
    const char* own =
        tag && tag->getType() == MetaTag::STRING ? (const char*)tag->getValue() : nullptr;
    return modTime == time && getFileSize() == size && own && name && strcmp(own, name) == 0;
}

bool FileMeta::takePartHashes(uint8_t* hashes, int count) {
    uint8_t check[16];
    MD4::digest(hashes, (size_t)count * 16, check);
    if (count == 0 || memcmp(check, fileHash, 16) != 0) {
        free(hashes);
        return false;
    }
    free(partHashes);
    partHashes = hashes;
    return true;
}

bool FileMeta::setPartHashes(const uint8_t* hashes, int count) {
    if (!hashes || count != partCount() || count < 2) return false;
    free(partHashes);
    partHashes = (uint8_t*)malloc((size_t)count * 16);
    memcpy(partHashes, hashes, (size_t)count * 16);
    return true;
}

void FileMeta::setCrumbHashes(const uint8_t* hashes, int count) {
    free(crumbHashes);
    crumbHashes = nullptr;
    if (hashes && count == crumbCount() && count >= 2) {
        crumbHashes = (uint8_t*)malloc((size_t)count * 8);
        memcpy(crumbHashes, hashes, (size_t)count * 8);
    }
}

bool FileMeta::copyFrom(Meta* other) {
    if (!other) return false;
    if (other == this) return true;
    Meta::copyFrom(other);
    FileMeta* fm = dynamic_cast<FileMeta*>(other);
    freeHashes();
    if (!fm) return true;
    path = fm->path;
    modTime = fm->modTime;
    memcpy(fileHash, fm->fileHash, 16);
    // Sized from this record's size: the other's arrays must be at least that long,
    // which they are, being sized from the same tag.
    int parts = partCount();
    if (parts >= 2 && fm->partHashes && fm->partCount() == parts) {
        partHashes = (uint8_t*)malloc((size_t)parts * 16);
        memcpy(partHashes, fm->partHashes, (size_t)parts * 16);
    }
    int crumbs = crumbCount();
    if (crumbs >= 2 && fm->crumbHashes && fm->crumbCount() == crumbs) {
        crumbHashes = (uint8_t*)malloc((size_t)crumbs * 8);
        memcpy(crumbHashes, fm->crumbHashes, (size_t)crumbs * 8);
    }
    return true;
}

bool FileMeta::hashStep(FileHashState& st) {
    FileParts parts(st.size);
    uint64_t end = parts.crumbEndAt(st.position);
    bool keepCrumbs = crumbHashes && st.crumbIndex < st.crumbCount;
    MD4 crumb;
    while (st.position < end) {
        uint64_t left = end - st.position;
        uint32_t n =
            left < FileHashState::READ_CHUNK ? (uint32_t)left : (uint32_t)FileHashState::READ_CHUNK;
        const uint8_t* data = st.readChunk(n);
        if (keepCrumbs)
            MD4::updateBoth(st.partContext, crumb, data, n);
        else
            st.partContext.update(data, n);
        st.position += n;
    }
    if (keepCrumbs) {
        uint8_t d[16];
        crumb.final(d);
        memcpy(crumbHashes + 8 * st.crumbIndex++, d, 8);
    }
    bool last = st.position >= st.size;
    if (FileParts::isPartBoundary(st.position) || last) {
        if (partHashes && st.partIndex < st.partCount) {
            st.partContext.final(partHashes + 16 * st.partIndex++);
            st.partContext.init();
        }
    }
    if (!last) return true;
    if (partHashes)
        MD4::digest(partHashes, (size_t)st.partCount * 16, fileHash);
    else
        st.partContext.final(fileHash);
    return false;
}

void FileMeta::writeHashSets(i4_file& f) {
    if (getFileSize() == 0) return;
    int parts = partCount();
    if (parts >= 2) {
        f.write_8(partHashes ? 1 : 0);
        if (partHashes) f.write(partHashes, parts * 16);
    }
    int crumbs = crumbCount();
    if (crumbs >= 2) {
        f.write_8(crumbHashes ? 1 : 0);
        if (crumbHashes) f.write(crumbHashes, crumbs * 8);
    }
}

int FileMeta::hashSetsSize() {
    if (getFileSize() == 0) return 0;
    int n = 0;
    int parts = partCount();
    if (parts >= 2) n += 1 + (partHashes ? parts * 16 : 0);
    int crumbs = crumbCount();
    if (crumbs >= 2) n += 1 + (crumbHashes ? crumbs * 8 : 0);
    return n;
}

bool FileMeta::readHashSets(i4_file& f) {
    bool ok = true;
    int parts = partCount();
    if (parts >= 2) {
        if (f.read_8()) {
            if ((int64_t)parts * 16 > bytesLeft(f)) I4_ERROR("part hashes past the end");
            uint8_t* hashes = (uint8_t*)malloc((size_t)parts * 16);
            try {
                f.readAll(hashes, parts * 16);
            } catch (const i4_err&) {
                free(hashes);
                throw;
            }
            ok = takePartHashes(hashes, parts);
        } else {
            ok = false;
        }
    }
    int crumbs = crumbCount();
    if (crumbs >= 2 && f.read_8()) {
        if ((int64_t)crumbs * 8 > bytesLeft(f)) I4_ERROR("crumb hashes past the end");
        free(crumbHashes);
        crumbHashes = (uint8_t*)malloc((size_t)crumbs * 8);
        f.readAll(crumbHashes, crumbs * 8);
    }
    return ok;
}

bool FileMeta::readPartHashesChecked(i4_file& f) {
    uint16_t count = f.read_16();
    int parts = partCount();
    if (count != parts || parts == 0) return false;
    if ((int64_t)count * 16 > bytesLeft(f)) return false;
    uint8_t* hashes = (uint8_t*)malloc((size_t)count * 16);
    try {
        f.readAll(hashes, count * 16);
    } catch (const i4_err&) {
        free(hashes);
        throw;
    }
    return takePartHashes(hashes, count);
}

bool FileMeta::toBytes(i4_file& f) {
    try {
        if (f.write_8(KNOWN_VERSION) != 1 || f.write_32(modTime) != 4 ||
            f.write(fileHash, 16) != 16)
            return false;
        if (!Meta::toBytes(f)) return false;
        writeHashSets(f);
        return true;
    } catch (const i4_err&) {
        return false;
    }
}

bool FileMeta::readOlderLayout(i4_file& f) {
    modTime = f.read_32();
    f.readAll(fileHash, 16);
    uint16_t n = f.read_16();
    if ((int64_t)n * 16 > bytesLeft(f)) return false;
    uint8_t* hashes = nullptr;
    if (n) {
        hashes = (uint8_t*)malloc((size_t)n * 16);
        try {
            f.readAll(hashes, n * 16);
        } catch (const i4_err&) {
            free(hashes);
            throw;
        }
    }
    bool ok = Meta::fromDisk(f);
    // The stored count is only trusted when it matches the size the tags give.
    if (hashes && ok && n == partCount() && n >= 2)
        takePartHashes(hashes, n);
    else
        free(hashes);
    return ok;
}

bool FileMeta::fromDisk(i4_file& f) {
    freeHashes();
    try {
        int64_t start = f.tell();
        uint8_t version = f.read_8();
        if (version != KNOWN_VERSION) {
            if (f.seek(start) != start) return false;
            return readOlderLayout(f);
        }
        modTime = f.read_32();
        f.readAll(fileHash, 16);
        if (!Meta::fromDisk(f)) return false;
        readHashSets(f);
        return true;
    } catch (const i4_err&) {
        return false;
    }
}

bool FileMeta::toNetwork(i4_file& f) {
    try {
        if (f.write(fileHash, 16) != 16 || f.write_32(0) != 4 || f.write_16(0) != 2) return false;
    } catch (const i4_err&) {
        return false;
    }
    return Meta::toNetwork(f);
}

bool FileMeta::fromNetwork(i4_file& f) {
    try {
        f.readAll(fileHash, 16);
        f.read_32();  // the publisher's id and port, filled in by a server; unused
        f.read_16();
    } catch (const i4_err&) {
        return false;
    }
    return Meta::fromNetwork(f);
}

int FileMeta::size() {
    return Meta::size() + 22;
}

void FileMeta::stripTransientTags() {
    removeSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY);
    removeTag("# Sent");
    removeTag("Last Seen Complete");
}

void FileMeta::print(bool withHashes, MetaOutput* out) {
    if (!out) out = theMetaOutput;
    dump(out);
    char hex[33];
    i4_string line;
    line.format("Path: %s", path.c_str());
    out->printLine(line.c_str());
    line.format("Hash: %s", md4Hex(fileHash, hex));
    out->printLine(line.c_str());
    if (!withHashes) return;
    int parts = partCount();
    for (int i = 0; i < parts; ++i) {
        const uint8_t* h = getPartHash(i);
        if (!h) continue;
        line.format("PartHash: %d) %s", i, md4Hex(h, hex));
        out->printLine(line.c_str());
    }
    if (!crumbHashes) return;
    int crumbs = crumbCount();
    for (int i = 0; i < crumbs; ++i) {
        char crumbHex[17];
        static const char digits[] = "0123456789abcdef";
        for (int b = 0; b < 8; ++b) {
            crumbHex[2 * b] = digits[crumbHashes[8 * i + b] >> 4];
            crumbHex[2 * b + 1] = digits[crumbHashes[8 * i + b] & 15];
        }
        crumbHex[16] = 0;
        line.format("Crumb: %d) %s", i, crumbHex);
        out->printLine(line.c_str());
    }
}
