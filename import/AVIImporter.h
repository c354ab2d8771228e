// AVI files ("avi", "divx"): the codec and playing time of the video stream, read from
// the RIFF header list. No state between files: any thread.
//
// Layout read (integers little-endian, identifiers four characters):
//   offset  width  field
//   0       4      "RIFF"
//   4       4      RIFF size (not used)
//   8       4      "AVI "
//   12      4      "LIST"
//   16      4      list size S, counting the list type and the chunks
//   20      4      "hdrl"
//   24      S - 4  chunks: 4-byte id, u32 size n, n bytes, a pad byte when n is odd
// Chunks of the header list: "avih" (56 bytes), and per stream a "LIST" of type
// "strl" whose chunks hold the stream header "strh":
//   0  fccType ("vids" for video)   4  fccHandler (the codec)   20 dwScale
//   24 dwRate                       32 dwLength (frames)        36..55 not used
#pragma once

#include "i4min/string/i4_string.h"
#include "import/Importer.h"

class AVIImporter : public Importer {
public:
    enum {
        AVIH_SIZE = 56,
        // Bytes of "strh" up to and including dwLength; real files carry 56.
        STRH_NEEDED = 36,
        // A header list beyond this is no AVI file's: refused rather than walked.
        MAX_HEADER_LIST = 1 << 20,
    };

    // Type "Video", Format = ext, and when the list holds a video stream header,
    // "codec" (when not empty) and "length" ("h:mm", when rate and scale are not 0).
    // False when the extension is not "avi" or "divx" or the headers do not read.
    bool import(FileMeta& record, i4_file& file, const char* ext) override;

    // Names a wave format tag: 80 "MPEG", 85 "MP3", 1 "PCM", else
    // "Unknown format (<tag>)".
    static i4_string audioFormatName(int formatTag);
};
