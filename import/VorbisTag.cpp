#include "import/VorbisTag.h"

#include <string.h>

#include "i4min/file/i4_file.h"
#include "import/FileBytes.h"
#include "import/MP3Info.h"

namespace {

// Reads what lies between a position and the end of its block; every length is
// checked against the block before anything is read or allocated.
class BlockReader {
public:
    BlockReader(i4_file& f, int64_t at, int64_t end) : file(f), pos(at), end(end) {}
    int64_t left() const { return end - pos; }
    bool u32le(uint32_t& v) {
        uint8_t b[4];
        if (left() < 4 || !readBytesAt(file, pos, b, 4)) return false;
        pos += 4;
        v = le32(b);
        return true;
    }
    // Keeps the first `keep` of n bytes as text and steps over the rest.
    bool text(uint32_t n, uint32_t keep, i4_string& out) {
        if (n > left()) return false;
        if (keep > n) keep = n;
        std::vector<char> buf(keep + 1);
        if (keep && !readBytesAt(file, pos, buf.data(), (int32_t)keep)) return false;
        buf[keep] = 0;
        out = buf.data();
        pos += n;
        return true;
    }
    bool skip(uint32_t n) {
        if (n > left()) return false;
        pos += n;
        return true;
    }

private:
    i4_file& file;
    int64_t pos;
    int64_t end;
};

}  // namespace

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
    BlockReader in(f, at, at + length);
    uint32_t n;
    if (!in.u32le(n) || !in.text(n, MAX_VENDOR, vendor)) return false;
    uint32_t count;
    if (!in.u32le(count)) return false;
    comments.clear();
    for (uint32_t i = 0; i < count && comments.size() < MAX_COMMENTS; ++i) {
        uint32_t len;
        if (!in.u32le(len)) return false;
        i4_string text((const char*)nullptr);
        bool ok = len && len <= MAX_COMMENT ? in.text(len, len, text) : in.skip(len);
        if (!ok) return false;
        comments.push_back(text);
    }
    return true;
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
