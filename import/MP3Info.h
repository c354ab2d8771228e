// What an MP3 file tells the importers: its first frame header, the frame count of a
// Xing header behind it and the ID3v1 tag at its end. One MP3Info describes one file
// and is used by one thread at a time; it holds nothing that outlives the object.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "import/ID3v1.h"
#include "import/MP3Header.h"

class i4_file;

class MP3Info {
public:
    enum {
        FOUND = 0,
        NO_HEADER = 4,
        // Frame headers are looked for at this many offsets and one more, counted from
        // the end of a leading ID3v2 tag.
        SCAN_LIMIT = 204800,
    };

    MP3Info();
    // FOUND when a frame header was found, NO_HEADER when none was (or the file
    // cannot be opened). Reads the file from its start, whatever its position.
    int read(const char* path);
    int read(i4_file& f);

    // kbit/s: the Xing average when the file has a usable frame count, else the
    // first header's table bitrate.
    int bitrate() const;
    // Playing time in whole seconds.
    uint32_t durationSeconds() const;
    // "mm:ss", or "hh:mm:ss" from one hour on.
    void durationText(i4_string& out) const;
    // The same text for any count of seconds.
    static void formatDuration(uint32_t seconds, i4_string& out);

    enum { WRITTEN = 0, NOT_WRITTEN = 1 };
    // Puts an ID3v1 tag on the file read last: over the tag it ends in, or behind its last
    // byte when it has none; nothing else of the file changes. Each text of "n/a" (or null)
    // keeps that field as the file has it; the year is taken from 1000 to 3000, the track
    // from -1 (none) to 255, the genre as its number or its name. A new tag without a
    // genre has none (255). NOT_WRITTEN when the file cannot be opened for writing or the
    // write fails.
    int writeTags(const char* title, const char* artist, const char* album, const char* year,
                  const char* comment, const char* track, const char* genre);

    void getTitle(i4_string& out) const { out = tag.getTitle(); }
    void getArtist(i4_string& out) const { out = tag.getArtist(); }
    void getAlbum(i4_string& out) const { out = tag.getAlbum(); }
    bool hasID3v1() const { return tagged; }
    const ID3v1& getID3v1() const { return tag; }
    const MP3Header& getHeader() const { return header; }
    // The Xing frame count; -1 without a Xing header or without a count in it.
    int64_t getXingFrames() const { return xingFrames; }
    bool hasXing() const { return xing; }
    // Where the first frame header lies.
    int64_t getHeaderOffset() const { return headerOffset; }
    int64_t getFileSize() const { return fileSize; }
    const char* getPath() const { return path.c_str(); }

private:
    // Where the audio begins: after the ID3v2 tags at the start, or -1 when a tag
    // claims more bytes than the file holds.
    int64_t audioStart(i4_file& f);
    bool findHeader(i4_file& f, int64_t from);
    void readXing(i4_file& f);
    // Bytes of audio: from the first header to the end, less an ID3v1 tag.
    int64_t audioBytes() const;
    // True when the Xing frame count may stand in for the frames.
    bool usableXing() const;

    MP3Header header;
    bool xing;
    int64_t xingFrames;
    bool tagged;
    ID3v1 tag;
    int64_t fileSize;
    int64_t headerOffset;
    i4_string path;
};
