#include "import/VorbisTag.h"

#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "import/FileBytes.h"
#include "import/MP3Info.h"
#include "meta/Serializable.h"

VorbisTag::VorbisTag()
    : sampleRate(0), channels(0), bitsPerSample(0), totalSamples(0), vendor(""), pastEnd(false) {
    memset(md5, 0, sizeof md5);
}

bool VorbisTag::read(i4_file& f) {
    int64_t size = f.size();
    int64_t p = 4;
    for (int blocks = 0; blocks < MAX_BLOCKS; ++blocks) {
        uint8_t h[4];
        if (!readBytesAt(f, p, h, 4)) {
            pastEnd = true;
            return false;
        }
        p += 4;
        bool last = h[0] & 0x80;
        int type = h[0] & 0x7F;
        uint32_t length = be24(h + 1);
        if (type == 0 || type == 4) {
            if (length > size - p) {
                pastEnd = true;
                return false;
            }
            if (type == 4) return readComments(f, p, length);
            if (length < STREAMINFO_SIZE || !readStreamInfo(f, p)) return false;
        }
        p += length;
        if (last || p >= size) return true;
    }
    return false;
}

bool VorbisTag::readStreamInfo(i4_file& f, int64_t at) {
    uint8_t b[STREAMINFO_SIZE];
    if (!readBytesAt(f, at, b, sizeof b)) {
        pastEnd = true;
        return false;
    }
    uint32_t w = be32(b + 10);
    sampleRate = (int)(w >> 12);
    channels = (int)((w >> 9) & 7) + 1;
    bitsPerSample = (int)((w >> 4) & 31) + 1;
    totalSamples = ((uint64_t)(w & 15) << 32) | be32(b + 14);
    memcpy(md5, b + 18, sizeof md5);
    return true;
}

bool VorbisTag::readComments(i4_file& f, int64_t at, uint32_t length) {
    const int64_t end = at + length;
    return Serializable::checked([&] {
        if (f.seek(at) != at) return false;
        i4_field_reader in(f);
        // Every length is held against the block before anything is read for it.
        auto inBlock = [&](int64_t n) { return n <= end - in.position(); };
        // Keeps the first `keep` of n bytes as text and steps over the rest.
        auto text = [&](uint32_t n, uint32_t keep, i4_string& out) {
            if (keep > n) keep = n;
            std::vector<uint8_t> kept = in.block(keep, keep);
            kept.push_back(0);
            out = (const char*)kept.data();
            in.skip(n - keep);
        };
        if (!inBlock(4)) return false;
        uint32_t n = in.u32();
        if (!inBlock(n)) return false;
        text(n, MAX_VENDOR, vendor);
        if (!inBlock(4)) return false;
        uint32_t count = in.u32();
        comments.clear();
        for (uint32_t i = 0; i < count && comments.size() < MAX_COMMENTS; ++i) {
            if (!inBlock(4)) return false;
            uint32_t len = in.u32();
            if (!inBlock(len)) return false;
            i4_string comment((const char*)nullptr);
            if (len && len <= MAX_COMMENT)
                text(len, len, comment);
            else
                in.skip(len);
            comments.push_back(comment);
        }
        return true;
    });
}

void VorbisTag::getVendor(i4_string& out) const {
    if (!vendor.is_empty()) out = vendor;
}

bool VorbisTag::getComment(int index, i4_string& name, i4_string& value, int room) const {
    if (index < 0 || index >= (int)comments.size() || !comments[(size_t)index].c_str())
        return false;
    const char* text = comments[(size_t)index].c_str();
    const char* eq = strchr(text, '=');
    if (!eq) return false;
    int nameLen = (int)(eq - text);
    int valueLen = (int)strlen(eq);  // with its "="
    if (nameLen >= room || valueLen >= room) return false;
    name = "";
    name.append_n(text, nameLen);
    value = eq + 1;
    return true;
}

void VorbisTag::lengthText(i4_string& out) const {
    out = "";
    if (!totalSamples || !sampleRate) return;
    MP3Info::formatDuration((uint32_t)(totalSamples / (uint64_t)sampleRate), out);
}
