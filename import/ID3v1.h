// The 128-byte tag at the end of an MP3 file, decoded. A plain value: any thread, no
// lock.
//
// Layout:
//   offset  width  field
//   0       3      "TAG"
//   3       30     title      (trailing spaces and zero bytes are padding)
//   33      30     artist
//   63      30     album
//   93      4      year, decimal digits
//   97      30     comment; or 28 bytes of comment, a zero at 125 and the track at
//                  126 (version 1.1, told by a zero at 125 and a non-zero 126)
//   127     1      genre
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"

class ID3v1 {
public:
    enum { SIZE = 128, FIELD = 30, GENRES = 126, NO_GENRE = 255 };

    ID3v1();
    // False, and nothing changed, unless the block begins with "TAG".
    bool parse(const uint8_t block[SIZE]);
    void build(uint8_t block[SIZE]) const;

    const char* getTitle() const { return title; }
    const char* getArtist() const { return artist; }
    const char* getAlbum() const { return album; }
    const char* getComment() const { return comment; }
    int getYear() const { return year; }
    int getTrack() const { return track; }
    int getGenre() const { return genre; }
    // 1.0, or 1.1 when a track is present.
    float getVersion() const { return track >= 0 ? 1.1f : 1.0f; }

    // Texts are copied, cut to 30 bytes.
    void setTitle(const char* t);
    void setArtist(const char* t);
    void setAlbum(const char* t);
    void setComment(const char* t);
    // Takes 1000 to 3000 only.
    bool setYear(int y);
    // Takes -1 (no track, version 1.0) or 0 to 255 (version 1.1).
    bool setTrack(int t);
    void setGenre(uint8_t g) { genre = g; }
    // A number from 0 to 255, or one of the genre names in any case; false, nothing
    // changed, for anything else.
    bool setGenreText(const char* text);
    // With the flag, the genre's name ("not supported" from 126 on); without it the
    // text is left as it is.
    void genreText(i4_string& out, bool named) const;

private:
    char title[FIELD + 1];
    char artist[FIELD + 1];
    char album[FIELD + 1];
    char comment[FIELD + 1];
    int year;
    int track;
    int genre;
};
