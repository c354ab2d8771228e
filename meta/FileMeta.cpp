#include "meta/FileMeta.h"

#include <string.h>
#include <utility>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/string/i4_err.h"
#include "meta/FileHashState.h"
#include "meta/FileParts.h"
#include "meta/MD4.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"

FileMeta::FileMeta() : modTime(0), path("") {
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
    if (state.partCount >= 2) partHashes.assign((size_t)state.partCount * PART_HASH, 0);
    if (state.crumbCount >= 2) crumbHashes.assign((size_t)state.crumbCount * CRUMB_HASH, 0);
}

FileMeta::~FileMeta() {}

void FileMeta::freeHashes() {
    std::vector<uint8_t>().swap(partHashes);
    std::vector<uint8_t>().swap(crumbHashes);
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
    return partCount() < 2 || !partHashes.empty();
}

bool FileMeta::hasCrumbHashes() {
    return crumbCount() < 2 || !crumbHashes.empty();
}

const uint8_t* FileMeta::getPartHash(int index) {
    int parts = partCount();
    if (index < 0 || index >= parts) return nullptr;
    if ((size_t)(index + 1) * PART_HASH <= partHashes.size())
        return partHashes.data() + PART_HASH * index;
    return parts == 1 ? fileHash : nullptr;
}

uint64_t FileMeta::getCrumbHash(int index) {
    if (index < 0 || index >= crumbCount() || (size_t)(index + 1) * CRUMB_HASH > crumbHashes.size())
        return 0;
    return crumbValue(crumbHashes.data() + CRUMB_HASH * index);
}

uint64_t FileMeta::crumbValue(const uint8_t digest[16]) {
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | digest[i];
    return v;
}

bool FileMeta::isSameFile(uint32_t size, uint32_t time, const char* filePath) {
    return modTime == time && getFileSize() == size && filePath && *filePath &&
           strcmp(path.c_str(), filePath) == 0;
}

bool FileMeta::partHashesMatch(const uint8_t* hashes, int count) {
    if (count <= 0) return false;
    uint8_t check[16];
    MD4::digest(hashes, (size_t)count * 16, check);
    if (memcmp(check, fileHash, 16) == 0) return true;
    // For a size that is a multiple of a part, the completion rule's file hash
    // also covers a last, empty piece.
    if (!FileParts::isPartBoundary(getFileSize())) return false;
    MD4 ctx;
    ctx.update(hashes, (size_t)count * 16);
    uint8_t empty[16];
    MD4::digest("", 0, empty);
    ctx.update(empty, 16);
    ctx.final(check);
    return memcmp(check, fileHash, 16) == 0;
}

bool FileMeta::takePartHashes(std::vector<uint8_t> hashes) {
    if (!partHashesMatch(hashes.data(), (int)(hashes.size() / 16))) return false;
    partHashes.swap(hashes);
    return true;
}

bool FileMeta::setPartHashes(const uint8_t* hashes, int count) {
    if (!hashes || count != partCount() || count < 2) return false;
    partHashes.assign(hashes, hashes + (size_t)count * PART_HASH);
    return true;
}

void FileMeta::setCrumbHashes(const uint8_t* hashes, int count) {
    if (hashes && count == crumbCount() && count >= 2)
        crumbHashes.assign(hashes, hashes + (size_t)count * CRUMB_HASH);
    else
        std::vector<uint8_t>().swap(crumbHashes);
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
    // Taken only when the other's arrays hold exactly this record's counts.
    if (partCount() >= 2 && fm->partHashes.size() == (size_t)partCount() * PART_HASH)
        partHashes = fm->partHashes;
    if (crumbCount() >= 2 && fm->crumbHashes.size() == (size_t)crumbCount() * CRUMB_HASH)
        crumbHashes = fm->crumbHashes;
    return true;
}

bool FileMeta::hashStep(FileHashState& st) {
    FileParts parts(st.size);
    uint64_t end = parts.crumbEndAt(st.position);
    bool keepCrumbs = (size_t)(st.crumbIndex + 1) * CRUMB_HASH <= crumbHashes.size();
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
        memcpy(crumbHashes.data() + CRUMB_HASH * st.crumbIndex++, d, CRUMB_HASH);
    }
    bool last = st.position >= st.size;
    if (FileParts::isPartBoundary(st.position) || last) {
        if ((size_t)(st.partIndex + 1) * PART_HASH <= partHashes.size()) {
            st.partContext.final(partHashes.data() + PART_HASH * st.partIndex++);
            st.partContext.init();
        }
    }
    if (!last) return true;
    if (!partHashes.empty())
        MD4::digest(partHashes.data(), partHashes.size(), fileHash);
    else
        st.partContext.final(fileHash);
    return false;
}

void FileMeta::writeHashSets(i4_file& f) {
    if (getFileSize() == 0) return;
    i4_field_writer out(f);
    if (partCount() >= 2) {
        out.u8(partHashes.empty() ? 0 : 1);
        out.bytes(partHashes.data(), (int32_t)partHashes.size());
    }
    if (crumbCount() >= 2) {
        out.u8(crumbHashes.empty() ? 0 : 1);
        out.bytes(crumbHashes.data(), (int32_t)crumbHashes.size());
    }
}

int FileMeta::hashSetsSize() {
    if (getFileSize() == 0) return 0;
    int n = 0;
    if (partCount() >= 2) n += 1 + (int)partHashes.size();
    if (crumbCount() >= 2) n += 1 + (int)crumbHashes.size();
    return n;
}

bool FileMeta::readHashSets(i4_file& f) {
    i4_field_reader in(f);
    bool ok = true;
    int parts = partCount();
    if (parts >= 2) {
        if (in.u8()) {
            std::vector<uint8_t> hashes = in.block((int64_t)parts * PART_HASH, MAX_HASH_BYTES);
            ok = takePartHashes(std::move(hashes));
        } else {
            ok = false;
        }
    }
    int crumbs = crumbCount();
    if (crumbs >= 2 && in.u8())
        crumbHashes = in.block((int64_t)crumbs * CRUMB_HASH, MAX_HASH_BYTES);
    return ok;
}

bool FileMeta::readPartHashesChecked(i4_file& f) {
    i4_field_reader in(f);
    uint16_t count = in.u16();
    int parts = partCount();
    if (count != parts || parts == 0 || (int64_t)count * PART_HASH > in.left()) return false;
    return takePartHashes(in.block((int64_t)count * PART_HASH, MAX_HASH_BYTES));
}

bool FileMeta::toBytes(i4_file& f) {
    // The local path is a tag on the disk only, never in a record that leaves the client.
    bool withPath = path.length() > 0;
    if (withPath) setTag(LOCAL_PATH_TAG, path.c_str(), MetaTag::STRING);
    bool ok = checked([&] {
        i4_field_writer out(f);
        out.u8(KNOWN_VERSION);
        out.u32(modTime);
        out.bytes(fileHash, 16);
        if (!Meta::toBytes(f)) return false;
        writeHashSets(f);
        return true;
    });
    if (withPath) removeTag(LOCAL_PATH_TAG);
    return ok;
}

bool FileMeta::readOlderLayout(i4_field_reader& in) {
    modTime = in.u32();
    in.bytes(fileHash, 16);
    uint16_t n = in.u16();
    std::vector<uint8_t> hashes = in.block((int64_t)n * PART_HASH, MAX_HASH_BYTES);
    bool ok = Meta::fromDisk(in.file());
    // The stored count is only trusted when it matches the size the tags give.
    if (ok && n >= 2 && n == partCount()) takePartHashes(std::move(hashes));
    return ok;
}

bool FileMeta::fromDisk(i4_file& f) {
    freeHashes();
    return checked([&] {
        i4_field_reader in(f);
        int64_t start = in.position();
        if (in.u8() != KNOWN_VERSION) {
            if (f.seek(start) != start) return false;
            return readOlderLayout(in);
        }
        modTime = in.u32();
        in.bytes(fileHash, 16);
        if (!Meta::fromDisk(f)) return false;
        takeLocalPath();
        readHashSets(f);
        return true;
    });
}

void FileMeta::takeLocalPath() {
    MetaTag* tag = findTag(LOCAL_PATH_TAG);
    if (!tag) return;
    if (tag->getType() == MetaTag::STRING) path = (const char*)tag->getValue();
    removeTag(LOCAL_PATH_TAG);
}

bool FileMeta::toNetwork(i4_file& f) {
    return checked([&] {
        i4_field_writer out(f);
        out.bytes(fileHash, 16);
        out.u32(0);
        out.u16(0);
        return Meta::toNetwork(f);
    });
}

bool FileMeta::fromNetwork(i4_file& f) {
    return checked([&] {
        i4_field_reader in(f);
        in.bytes(fileHash, 16);
        in.skip(6);  // the publisher's id and port, filled in by a server; unused
        return Meta::fromNetwork(f);
    });
}

int FileMeta::size() {
    return Meta::size() + 22;
}

void FileMeta::stripTransientTags() {
    removeSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY);
    removeTag("# Sent");
    removeTag("Last Seen Complete");
}

void FileMeta::addTransientTags() {
    if (!findTag("# Sent")) {
        float none = 0;
        setTag("# Sent", &none, MetaTag::FLOAT);
    }
    if (!getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY)) {
        int32_t normal = 0;
        setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &normal);
    }
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
    int crumbs = (int)(crumbHashes.size() / CRUMB_HASH);
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
