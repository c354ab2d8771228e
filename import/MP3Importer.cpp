#include "import/MP3Importer.h"

#include <string.h>

#include "i4min/string/i4_string.h"
#include "import/MD5.h"
#include "import/MP3Info.h"
#include "meta/FileMeta.h"

namespace {
const char* const UNREAD[] = {"ogg", "mod", nullptr};
}

bool MP3Importer::import(FileMeta& record, i4_file& file, const char* ext) {
    if (isOneOf(ext, UNREAD)) {
        addType(record, "Audio");
        addFormat(record, ext);
        return true;
    }
    if (strcmp(ext, "shn") == 0) {
        addType(record, "Audio");
        addFormat(record, ext);
        addText(record, "MD5 Hash", MD5::fileHex(file).c_str());
        return true;
    }
    if (strcmp(ext, "mp3") != 0) return false;
    MP3Info info;
    if (info.read(file) != MP3Info::FOUND) return false;
    addType(record, "Audio");
    addFormat(record, "mp3");
    if (info.hasID3v1()) {
        const ID3v1& tag = info.getID3v1();
        if (*tag.getArtist()) addText(record, "Artist", tag.getArtist());
        if (*tag.getAlbum()) addText(record, "Album", tag.getAlbum());
        if (*tag.getTitle()) addText(record, "Title", tag.getTitle());
    }
    i4_string length;
    info.durationText(length);
    addText(record, "length", length.c_str());
    addInt(record, "bitrate", info.bitrate());
    return true;
}
