// Audio files: "mp3" when a frame header is found, and "ogg", "mod" and "shn" always.
// No state between files: any thread.
#pragma once

#include "import/Importer.h"

class MP3Importer : public Importer {
public:
    // mp3: Type, Format, the ID3v1 artist, album and title when not empty, "length"
    // and "bitrate"; false without a frame header. ogg, mod: Type and Format. shn:
    // Type, Format and "MD5 Hash" of the whole file.
    bool import(FileMeta& record, i4_file& file, const char* ext) override;
};
