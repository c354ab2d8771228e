// FLAC files ("flac"): the ID3v1 fields when the file ends in such a tag, else the
// stream information and Vorbis comments of its metadata. A fresh VorbisTag reads each
// file, so nothing carries over from one file to the next: any thread.
#pragma once

#include "import/Importer.h"

class VorbisTag;

class FlacImporter : public Importer {
public:
    // Room for a comment's name and for its value with the "=".
    enum { COMMENT_ROOM = 256 };

    // Never declines a "flac" file: Type and Format, then what could be read, and
    // "Warning:" = "fLaC file misformatted" when the metadata did not read and again
    // when a read ran past the end of the file.
    bool import(FileMeta& record, i4_file& file, const char* ext) override;

private:
    static void addMetadata(FileMeta& record, const VorbisTag& tag);
};
