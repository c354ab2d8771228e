// One MPEG audio frame header. A plain value: any thread, no lock.
//
// The 32-bit header word, from 4 file bytes in big-endian order:
//   bits   field
//   31-21  sync, all ones
//   20-19  version: 0 MPEG 2.5, 1 reserved, 2 MPEG 2, 3 MPEG 1
//   18-17  layer: 1 Layer III, 2 Layer II, 3 Layer I, 0 reserved
//   16     protection (not used)
//   15-12  bitrate index: 0 free and 15 bad are refused
//   11-10  sample-rate index: 3 reserved
//   9-8    padding and private bits (not used)
//   7-6    channel mode: 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
//   5-2    mode extension, copyright, original (not used)
//   1-0    emphasis: 2 reserved
#pragma once

#include <stdint.h>

class MP3Header {
public:
    enum Version { MPEG25 = 0, RESERVED = 1, MPEG2 = 2, MPEG1 = 3 };

    MP3Header() : word(0) {}
    void set(const uint8_t bytes[4]);
    uint32_t getWord() const { return word; }

    bool isValid() const;
    int version() const { return (word >> 19) & 3; }
    // 1, 2 or 3; 0 for the reserved layer field.
    int layer() const;
    int bitrateIndex() const { return (word >> 12) & 15; }
    int sampleRateIndex() const { return (word >> 10) & 3; }
    int channelMode() const { return (word >> 6) & 3; }
    // kbit/s from the bitrate tables; 0 for the free and bad indexes.
    int bitrate() const;
    // Hz; 0 for a reserved version or index.
    int sampleRate() const;
    // Samples that one frame carries: 384, 1152 or 576 (Layer III below MPEG 1).
    int samplesPerFrame() const;
    // Bytes of side information between the header and the frame's data.
    int sideInfoSize() const;
    // "MPEG 1 Layer III" and the like.
    const char* versionText(char* buf, int n) const;
    const char* channelModeText() const;

private:
    uint32_t word;
};
