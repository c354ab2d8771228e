// The FLAC metadata a FlacImporter turns into tags: the stream information and the
// Vorbis comment block. One VorbisTag reads one file and is used by one thread at a
// time; a fresh one per file, so nothing of one file reaches the next.
//
// Layout read (integers big-endian unless said otherwise):
//   0       4      "fLaC"
//   4       ...    metadata blocks: a 4-byte header, then its data
//   header: byte 0 bit 7 last block, bits 6-0 type; bytes 1-3 data length
//   type 0, STREAMINFO (34 bytes): bytes 10-13 as one word w: sample rate w >> 12,
//           channels ((w >> 9) & 7) + 1, bits per sample ((w >> 4) & 31) + 1, w & 15
//           bits 35-32 of the total samples; 14-17 bits 31-0 of them; 18-33 the MD5
//           of the raw audio
//   type 4, VORBIS_COMMENT (little-endian): u32 vendor length, vendor, u32 comment
//           count, then per comment a u32 length and that many bytes "name=value"
#pragma once

#include <stdint.h>
#include <vector>

#include "i4min/string/i4_string.h"

class i4_file;

class VorbisTag {
public:
    enum {
        STREAMINFO_SIZE = 34,
        MAX_VENDOR = 127,
        // A longer comment is kept as absent: it could not fit any caller's room.
        MAX_COMMENT = 1024,
        // Comments past this many are not read: no file needs them, and a hostile
        // count must not cost memory.
        MAX_COMMENTS = 256,
        // Metadata blocks looked at before the comment block; more is misformatted.
        MAX_BLOCKS = 1024,
    };

    VorbisTag();

    // Reads the metadata blocks from offset 4 up to and including the comment block.
    // False when a block is cut short, a length leaves its block or the file, or the
    // stream information is under 34 bytes.
    bool read(i4_file& f);
    // True after a read that wanted bytes past the end of the file.
    bool ranPastEnd() const { return pastEnd; }

    // The vendor, when not empty (out is left as it is otherwise).
    void getVendor(i4_string& out) const;
    int getCommentCount() const { return (int)comments.size(); }
    // Splits comment index at its first "=": true, with name and value, only when the
    // comment exists, holds a "=", the name is shorter than room and the value with
    // its "=" is shorter than room.
    bool getComment(int index, i4_string& name, i4_string& value, int room) const;
    // "mm:ss", or "hh:mm:ss" from one hour on; empty without samples or sample rate.
    void lengthText(i4_string& out) const;

    int getSampleRate() const { return sampleRate; }
    int getChannels() const { return channels; }
    int getBitsPerSample() const { return bitsPerSample; }
    uint64_t getTotalSamples() const { return totalSamples; }
    const uint8_t* getRawAudioMD5() const { return md5; }

private:
    bool readStreamInfo(i4_file& f, int64_t at);
    bool readComments(i4_file& f, int64_t at, uint32_t length);

    std::vector<i4_string> comments;  // a null text for an absent comment
    int sampleRate;
    int channels;
    int bitsPerSample;
    uint64_t totalSamples;
    i4_string vendor;
    uint8_t md5[16];
    bool pastEnd;
};
