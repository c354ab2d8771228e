#include "import/AVIImporter.h"

#include <stdio.h>
#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "meta/Serializable.h"

namespace {

const char* const EXTENSIONS[] = {"avi", "divx", nullptr};

// The fields of the video stream header that the tags need.
struct VideoStream {
    char codec[5] = {};
    uint32_t scale = 0, rate = 0, frames = 0;
};

// What the walk of the header list found.
struct HeaderList {
    bool badAvih = false;
    bool video = false;
    VideoStream stream;

    // Walks the chunks from the reader's position to end; a "strl" list of the header
    // list is walked the same way. Every size is untrusted: a chunk that runs past its
    // list ends the walk there.
    void walk(i4_field_reader& in, int64_t end, bool top) {
        while (!badAvih && end - in.position() >= 8) {
            char id[4];
            in.bytes(id, 4);
            uint32_t size = in.u32();
            int64_t data = in.position();
            if (size > end - data) return;
            if (memcmp(id, "avih", 4) == 0) {
                if (size != AVIImporter::AVIH_SIZE) badAvih = true;
            } else if (memcmp(id, "LIST", 4) == 0 && top && size >= 4) {
                char type[4];
                in.bytes(type, 4);
                if (memcmp(type, "strl", 4) == 0) walk(in, data + size, false);
            } else if (memcmp(id, "strh", 4) == 0 && size >= AVIImporter::STRH_NEEDED) {
                char kind[4];
                VideoStream s;
                in.bytes(kind, 4);
                in.bytes(s.codec, 4);
                in.skip(12);
                s.scale = in.u32();
                s.rate = in.u32();
                in.skip(4);
                s.frames = in.u32();
                // A later video header replaces an earlier one.
                if (memcmp(kind, "vids", 4) == 0) {
                    stream = s;
                    video = true;
                }
            }
            // RIFF pads odd chunks to even length; the pad may be missing at the end.
            int64_t next = data + size + (size & 1);
            if (next > end) return;
            in.skip(next - in.position());
        }
    }
};

// The head of the file and its header list; false when they are not an AVI file's.
bool readHeaderList(i4_file& file, HeaderList& found) {
    if (file.seek(0) != 0) return false;
    i4_field_reader in(file);
    char riff[4], form[4], list[4], type[4];
    in.bytes(riff, 4);
    in.u32();  // the RIFF size, not used
    in.bytes(form, 4);
    in.bytes(list, 4);
    uint32_t size = in.u32();
    in.bytes(type, 4);
    if (memcmp(riff, "RIFF", 4) || memcmp(form, "AVI ", 4) || memcmp(list, "LIST", 4) ||
        memcmp(type, "hdrl", 4))
        return false;
    // The list must lie in the file, and a list longer than any real one is refused
    // rather than walked chunk by chunk.
    if (size < 4 || size - 4 > (uint32_t)AVIImporter::MAX_HEADER_LIST) return false;
    in.need(size - 4);
    found.walk(in, in.position() + size - 4, true);
    return true;
}

// "h:mm" from frames and frames per second (rate / scale); empty when either is 0
// or the time is beyond what the text can carry.
void lengthText(const VideoStream& v, char* out, size_t n) {
    out[0] = 0;
    if (!v.rate || !v.scale) return;
    double seconds = (double)v.frames / ((double)v.rate / (double)v.scale);
    if (!(seconds >= 0 && seconds < 2147483647.0)) return;
    int s = (int)seconds;
    snprintf(out, n, "%d:%2d", s / 3600, s / 60 % 60);
}

}  // namespace

bool AVIImporter::import(FileMeta& record, i4_file& file, const char* ext) {
    if (!isOneOf(ext, EXTENSIONS)) return false;
    HeaderList found;
    if (!Serializable::checked([&] { return readHeaderList(file, found); })) return false;
    if (found.badAvih) {
        i4_printf("AVI header not correct size!\n");
        return false;
    }
    addType(record, "Video");
    addFormat(record, ext);
    if (found.video) {
        // The handler's four characters, cut at a zero byte.
        if (found.stream.codec[0]) addText(record, "codec", found.stream.codec);
        char length[32];
        lengthText(found.stream, length, sizeof length);
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
