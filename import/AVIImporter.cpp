#include "import/AVIImporter.h"

#include <stdio.h>
#include <string.h>
#include <vector>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_string.h"
#include "import/FileBytes.h"
#include "meta/FileMeta.h"

namespace {

const char* const EXTENSIONS[] = {"avi", "divx", nullptr};

// What the walk of the header list found.
struct HeaderList {
    bool badAvih = false;
    bool video = false;
    uint8_t strh[AVIImporter::STRH_NEEDED] = {};

    // Walks the chunks in [p, p + n); a "strl" list of the header list is walked the
    // same way. Every size is untrusted: a chunk that runs past its list ends the walk.
    void walk(const uint8_t* p, uint32_t n, bool top) {
        uint32_t at = 0;
        while (!badAvih && n - at >= 8) {
            const uint8_t* id = p + at;
            uint32_t size = le32(p + at + 4);
            const uint8_t* data = p + at + 8;
            uint32_t room = n - at - 8;
            if (size > room) return;
            if (memcmp(id, "avih", 4) == 0) {
                if (size != AVIImporter::AVIH_SIZE) badAvih = true;
            } else if (top && memcmp(id, "LIST", 4) == 0) {
                if (size >= 4 && memcmp(data, "strl", 4) == 0) walk(data + 4, size - 4, false);
            } else if (memcmp(id, "strh", 4) == 0) {
                // A later video header replaces an earlier one.
                if (size >= AVIImporter::STRH_NEEDED && memcmp(data, "vids", 4) == 0) {
                    memcpy(strh, data, sizeof strh);
                    video = true;
                }
            }
            // RIFF pads odd chunks to even length; the pad may be missing at the end.
            uint32_t step = size + (size & 1);
            if (step > room) return;
            at += 8 + step;
        }
    }
};

// "h:mm" from frames and frames per second (rate / scale); empty when either is 0
// or the time is beyond what the text can carry.
void lengthText(const uint8_t* strh, char* out, size_t n) {
    out[0] = 0;
    uint32_t scale = le32(strh + 20), rate = le32(strh + 24), frames = le32(strh + 32);
    if (!rate || !scale) return;
    double seconds = (double)frames / ((double)rate / (double)scale);
    if (!(seconds >= 0 && seconds < 2147483647.0)) return;
    int s = (int)seconds;
    snprintf(out, n, "%d:%2d", s / 3600, s / 60 % 60);
}

}  // namespace

bool AVIImporter::import(FileMeta& record, i4_file& file, const char* ext) {
    if (!isOneOf(ext, EXTENSIONS)) return false;
    uint8_t head[24];
    if (!readBytesAt(file, 0, head, sizeof head)) return false;
    if (memcmp(head, "RIFF", 4) || memcmp(head + 8, "AVI ", 4) || memcmp(head + 12, "LIST", 4) ||
        memcmp(head + 20, "hdrl", 4))
        return false;
    uint32_t listSize = le32(head + 16);
    int64_t left = file.size() - (int64_t)sizeof head;
    if (listSize < 4 || listSize - 4 > (uint32_t)MAX_HEADER_LIST || (int64_t)(listSize - 4) > left)
        return false;
    std::vector<uint8_t> list(listSize - 4);
    if (!list.empty() && !readBytesAt(file, sizeof head, list.data(), (int32_t)list.size()))
        return false;
    HeaderList found;
    found.walk(list.data(), (uint32_t)list.size(), true);
    if (found.badAvih) {
        i4_printf("AVI header not correct size!\n");
        return false;
    }
    addType(record, "Video");
    addFormat(record, ext);
    if (found.video) {
        char codec[5];
        memcpy(codec, found.strh + 4, 4);
        codec[4] = 0;
        if (codec[0]) addText(record, "codec", codec);
        char length[32];
        lengthText(found.strh, length, sizeof length);
        if (length[0]) addText(record, "length", length);
    }
    return true;
}

i4_string AVIImporter::audioFormatName(int formatTag) {
    switch (formatTag) {
    case 80:
        return "MPEG";
    case 85:
        return "MP3";
    case 1:
        return "PCM";
    default: {
        i4_string s;
        s.format("Unknown format (%d)", formatTag);
        return s;
    }
    }
}
