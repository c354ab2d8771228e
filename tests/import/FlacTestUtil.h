// Builders of FLAC files for the FLAC tests.
#pragma once

#include <string>
#include <vector>

#include "ImportTestUtil.h"

inline Bytes flacBlock(int type, const Bytes& data, bool last, int64_t length = -1) {
    uint32_t n = length < 0 ? (uint32_t)data.size() : (uint32_t)length;
    Bytes b = {(uint8_t)(type | (last ? 0x80 : 0)), (uint8_t)(n >> 16), (uint8_t)(n >> 8),
               (uint8_t)n};
    return b + data;
}

// The 34 bytes of STREAMINFO.
inline Bytes streamInfo(uint32_t rate, int channels, int bits, uint64_t total, const Bytes& md5) {
    Bytes b(34, 0);
    uint32_t w = (rate << 12) | ((uint32_t)(channels - 1) << 9) | ((uint32_t)(bits - 1) << 4) |
                 (uint32_t)((total >> 32) & 15);
    putAt(b, 10, be32Bytes(w));
    putAt(b, 14, be32Bytes((uint32_t)total));
    putAt(b, 18, md5);
    return b;
}

inline Bytes md5Bytes() {
    Bytes b(16);
    for (int i = 0; i < 16; ++i) b[i] = (uint8_t)(i * 17 + 1);
    return b;
}

inline const char* md5Text() {
    return "0112233445566778899aabbccddeef00";
}

// A VORBIS_COMMENT body; count overrides the comment count written.
inline Bytes vorbisComments(const std::string& vendor, const std::vector<std::string>& comments,
                            int64_t count = -1) {
    Bytes b = le32Bytes((uint32_t)vendor.size()) + text(vendor);
    b = b + le32Bytes(count < 0 ? (uint32_t)comments.size() : (uint32_t)count);
    for (const std::string& c : comments) b = b + le32Bytes((uint32_t)c.size()) + text(c);
    return b;
}

// "fLaC", the stream information of ten stereo seconds at 44.1 kHz and 16 bits, the
// comment block, and a few bytes standing for the audio frames.
inline Bytes flacFile(const Bytes& comments) {
    return text("fLaC") + flacBlock(0, streamInfo(44100, 2, 16, 441000, md5Bytes()), false) +
           flacBlock(4, comments, true) + Bytes{0xFF, 0xF8, 0x69, 0x08, 0, 0, 0, 0};
}
