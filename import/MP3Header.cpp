#include "import/MP3Header.h"

#include <stdio.h>

#include "import/FileBytes.h"

namespace {

// kbit/s by bitrate index (0 and 15 give 0): MPEG 1 Layers I, II, III, then MPEG 2
// and 2.5 Layer I and Layers II and III.
const int BITRATES[5][16] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
};

// Hz by version and sample-rate index.
const int SAMPLE_RATES[4][4] = {
    {11025, 12000, 8000, 0},
    {0, 0, 0, 0},
    {22050, 24000, 16000, 0},
    {44100, 48000, 32000, 0},
};

}  // namespace

void MP3Header::set(const uint8_t bytes[4]) {
    word = be32(bytes);
}

bool MP3Header::isValid() const {
    return (word >> 21) == 0x7FF && version() != RESERVED && layer() != 0 && bitrateIndex() != 0 &&
           bitrateIndex() != 15 && sampleRateIndex() != 3 && (word & 3) != 2;
}

int MP3Header::layer() const {
    int field = (word >> 17) & 3;
    return field ? 4 - field : 0;
}

int MP3Header::bitrate() const {
    int l = layer();
    if (!l) return 0;
    int table = version() == MPEG1 ? l - 1 : (l == 1 ? 3 : 4);
    return BITRATES[table][bitrateIndex()];
}

int MP3Header::sampleRate() const {
    return SAMPLE_RATES[version()][sampleRateIndex()];
}

int MP3Header::samplesPerFrame() const {
    switch (layer()) {
    case 1:
        return 384;
    case 2:
        return 1152;
    case 3:
        return version() == MPEG1 ? 1152 : 576;
    default:
        return 0;
    }
}

int MP3Header::sideInfoSize() const {
    bool mono = channelMode() == 3;
    if (version() == MPEG1) return mono ? 17 : 32;
    return mono ? 9 : 17;
}

const char* MP3Header::versionText(char* buf, int n) const {
    static const char* const versions[4] = {"2.5", "?", "2", "1"};
    static const char* const layers[4] = {"?", "I", "II", "III"};
    snprintf(buf, (size_t)n, "MPEG %s Layer %s", versions[version()], layers[layer()]);
    return buf;
}

const char* MP3Header::channelModeText() const {
    static const char* const modes[4] = {"Stereo", "Joint Stereo", "Dual Channel",
                                         "Single Channel"};
    return modes[channelMode()];
}
