#include "import/MP3Info.h"

#include <memory>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "import/FileBytes.h"

namespace {

// ID3v2 header: "ID3", major and minor version (never 0xFF), flags, and the size of
// what follows the header as four 7-bit bytes, highest first. In version 4, flag
// 0x10 adds a 10-byte footer.
const int ID3V2_HEADER = 10;
// Tags placed one after another before the audio, as some taggers leave them.
const int MAX_ID3V2_TAGS = 8;

}  // namespace

MP3Info::MP3Info() : xing(false), xingFrames(-1), tagged(false), fileSize(0), headerOffset(-1) {}

int MP3Info::read(const char* p) {
    path = p;
    i4_file* f = p ? i4_open(p, I4_READ) : nullptr;
    if (!f) return NO_HEADER;
    int r = read(*f);
    delete f;
    return r;
}

int MP3Info::read(i4_file& f) {
    xing = false;
    xingFrames = -1;
    tagged = false;
    headerOffset = -1;
    fileSize = f.size();
    if (fileSize < 4) return NO_HEADER;
    int64_t start = audioStart(f);
    if (start < 0 || !findHeader(f, start)) return NO_HEADER;
    readXing(f);
    uint8_t block[ID3v1::SIZE];
    if (fileSize >= ID3v1::SIZE && readBytesAt(f, fileSize - ID3v1::SIZE, block, ID3v1::SIZE))
        tagged = tag.parse(block);
    return FOUND;
}

int64_t MP3Info::audioStart(i4_file& f) {
    int64_t at = 0;
    uint8_t h[ID3V2_HEADER];
    for (int i = 0; i < MAX_ID3V2_TAGS; ++i) {
        if (!readBytesAt(f, at, h, ID3V2_HEADER) || memcmp(h, "ID3", 3) != 0) break;
        if (h[3] == 0xFF || h[4] == 0xFF || ((h[6] | h[7] | h[8] | h[9]) & 0x80)) break;
        int64_t body = ((int64_t)h[6] << 21) | (h[7] << 14) | (h[8] << 7) | h[9];
        at += ID3V2_HEADER + body + (h[3] == 4 && (h[5] & 0x10) ? 10 : 0);
        if (at > fileSize) return -1;
    }
    return at;
}

bool MP3Info::findHeader(i4_file& f, int64_t from) {
    // One read of the whole window instead of a seek and a read per offset.
    int64_t want = (int64_t)SCAN_LIMIT + 4;
    int64_t have = fileSize - from;
    int32_t n = (int32_t)(have < want ? have : want);
    if (n < 4) return false;
    std::vector<uint8_t> window((size_t)n);
    if (!readBytesAt(f, from, window.data(), n)) return false;
    for (int32_t p = 0; p + 4 <= n; ++p) {
        header.set(&window[(size_t)p]);
        if (header.isValid()) {
            headerOffset = from + p;
            return true;
        }
    }
    return false;
}

void MP3Info::readXing(i4_file& f) {
    uint8_t x[12];
    if (!readBytesAt(f, headerOffset + 4 + header.sideInfoSize(), x, sizeof x)) return;
    if (memcmp(x, "Xing", 4) != 0) return;
    xing = true;
    if (be32(x + 4) & 1) xingFrames = be32(x + 8);
}

int64_t MP3Info::audioBytes() const {
    int64_t n = fileSize - headerOffset - (tagged ? ID3v1::SIZE : 0);
    return n > 0 ? n : 0;
}

bool MP3Info::usableXing() const {
    // A count of 0, none, or one past 2^31 cannot be a real file's and would make the
    // average meaningless.
    return xingFrames > 0 && xingFrames < 0x80000000LL && header.sampleRate() > 0 &&
           header.samplesPerFrame() > 0;
}

int MP3Info::bitrate() const {
    if (headerOffset < 0) return 0;
    if (!usableXing()) return header.bitrate();
    double frameBytes = (double)audioBytes() / (double)xingFrames;
    double bitsPerSecond = frameBytes * 8.0 * header.sampleRate() / header.samplesPerFrame();
    double kbps = bitsPerSecond / 1000.0;
    return kbps < 0x7FFFFFFF ? (int)kbps : 0x7FFFFFFF;
}

uint32_t MP3Info::durationSeconds() const {
    if (headerOffset < 0) return 0;
    uint64_t seconds;
    if (usableXing()) {
        seconds = (uint64_t)xingFrames * header.samplesPerFrame() / header.sampleRate();
    } else {
        int rate = header.bitrate();
        if (rate <= 0) return 0;
        seconds = (uint64_t)audioBytes() * 8 / 1000 / (uint64_t)rate;
    }
    return seconds > 0xFFFFFFFFull ? 0xFFFFFFFFu : (uint32_t)seconds;
}

namespace {
bool given(const char* field) {
    return field && strcmp(field, "n/a") != 0;
}
}  // namespace

int MP3Info::writeTags(const char* title, const char* artist, const char* album, const char* year,
                       const char* comment, const char* track, const char* genre) {
    if (path.is_empty()) return NOT_WRITTEN;
    // Opened for reading first: opening for writing would make a missing file.
    std::unique_ptr<i4_file> probe(i4_open(path.c_str(), I4_READ));
    if (!probe) return NOT_WRITTEN;
    probe.reset();
    std::unique_ptr<i4_file> f(i4_open(path.c_str(), I4_READ | I4_WRITE));
    if (!f) return NOT_WRITTEN;

    // Whether the file ends in a tag now, not when it was read.
    int64_t size = f->size();
    uint8_t block[ID3v1::SIZE];
    ID3v1 updated;
    updated.setGenre(ID3v1::NO_GENRE);
    bool hadTag = size >= ID3v1::SIZE && readBytesAt(*f, size - ID3v1::SIZE, block, ID3v1::SIZE) &&
                  updated.parse(block);

    if (given(title)) updated.setTitle(title);
    if (given(artist)) updated.setArtist(artist);
    if (given(album)) updated.setAlbum(album);
    if (given(year)) updated.setYear(atoi(year));
    if (given(comment)) updated.setComment(comment);
    if (given(track)) updated.setTrack(atoi(track));
    if (given(genre)) updated.setGenreText(genre);
    updated.build(block);

    int64_t at = hadTag ? size - ID3v1::SIZE : size;
    if (f->seek(at) != at || f->write(block, ID3v1::SIZE) != ID3v1::SIZE) return NOT_WRITTEN;
    f->flush();
    tag = updated;
    tagged = true;
    fileSize = at + ID3v1::SIZE;
    return WRITTEN;
}

void MP3Info::durationText(i4_string& out) const {
    formatDuration(durationSeconds(), out);
}

void MP3Info::formatDuration(uint32_t s, i4_string& out) {
    char buf[32];
    if (s >= 3600)
        snprintf(buf, sizeof buf, "%02u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
    else
        snprintf(buf, sizeof buf, "%02u:%02u", s / 60, s % 60);
    out = buf;
}
