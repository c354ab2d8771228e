#include "import/ID3v1.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

const char* const GENRE_NAMES[ID3v1::GENRES] = {
    "Blues",
    "Classic Rock",
    "Country",
    "Dance",
    "Disco",
    "Funk",
    "Grunge",
    "Hip-Hop",
    "Jazz",
    "Metal",
    "New Age",
    "Oldies",
    "Other",
    "Pop",
    "R&B",
    "Rap",
    "Reggae",
    "Rock",
    "Techno",
    "Industrial",
    "Alternative",
    "Ska",
    "Death Metal",
    "Pranks",
    "Soundtrack",
    "Euro-Techno",
    "Ambient",
    "Trip-Hop",
    "Vocal",
    "Jazz+Funk",
    "Fusion",
    "Trance",
    "Classical",
    "Instrumental",
    "Acid",
    "House",
    "Game",
    "Sound Clip",
    "Gospel",
    "Noise",
    "AlternRock",
    "Bass",
    "Soul",
    "Punk",
    "Space",
    "Meditative",
    "Instrumental Pop",
    "Instrumental Rock",
    "Ethnic",
    "Gothic",
    "Darkwave",
    "Techno-Industrial",
    "Electronic",
    "Pop-Folk",
    "Eurodance",
    "Dream",
    "Southern Rock",
    "Comedy",
    "Cult",
    "Gangsta",
    "Top 40",
    "Christian Rap",
    "Pop/Funk",
    "Jungle",
    "Native American",
    "Cabaret",
    "New Wave",
    "Psychadelic",
    "Rave",
    "Showtunes",
    "Trailer",
    "Lo-Fi",
    "Tribal",
    "Acid Punk",
    "Acid Jazz",
    "Polka",
    "Retro",
    "Musical",
    "Rock & Roll",
    "Hard Rock",
    "Folk",
    "Folk-Rock",
    "National Folk",
    "Swing",
    "Fast Fusion",
    "Bebob",
    "Latin",
    "Revival",
    "Celtic",
    "Bluegrass",
    "Avantgarde",
    "Gothic Rock",
    "Progressive Rock",
    "Psychedelic Rock",
    "Symphonic Rock",
    "Slow Rock",
    "Big Band",
    "Chorus",
    "Easy Listening",
    "Acoustic",
    "Humour",
    "Speech",
    "Chanson",
    "Opera",
    "Chamber Music",
    "Sonata",
    "Symphony",
    "Booty Bass",
    "Primus",
    "Porn Groove",
    "Satire",
    "Slow Jam",
    "Club",
    "Tango",
    "Samba",
    "Folklore",
    "Ballad",
    "Power Ballad",
    "Rhythmic Soul",
    "Freestyle",
    "Duet",
    "Punk Rock",
    "Drum Solo",
    "A capella",
    "Euro-House",
    "Dance Hall",
};

// Copies a padded field of n bytes: the text ends at its first zero byte, and the
// spaces before that end are padding too.
void takeField(char* out, const uint8_t* in, int n) {
    memcpy(out, in, (size_t)n);
    out[n] = 0;
    n = (int)strlen(out);
    while (n > 0 && out[n - 1] == ' ') out[--n] = 0;
}

void copyText(char* out, const char* in) {
    snprintf(out, ID3v1::FIELD + 1, "%s", in ? in : "");
}

// Writes a text into a padded field, without its trailing spaces.
void putField(uint8_t* out, const char* in, int n) {
    int len = (int)strlen(in);
    if (len > n) len = n;
    while (len > 0 && in[len - 1] == ' ') --len;
    memcpy(out, in, (size_t)len);
}

}  // namespace

ID3v1::ID3v1() : year(0), track(-1), genre(0) {
    title[0] = artist[0] = album[0] = comment[0] = 0;
}

bool ID3v1::parse(const uint8_t block[SIZE]) {
    if (memcmp(block, "TAG", 3) != 0) return false;
    takeField(title, block + 3, FIELD);
    takeField(artist, block + 33, FIELD);
    takeField(album, block + 63, FIELD);
    year = 0;
    for (int i = 93; i < 97 && block[i] >= '0' && block[i] <= '9'; ++i)
        year = year * 10 + (block[i] - '0');
    if (block[125] == 0 && block[126] != 0) {
        track = block[126];
        takeField(comment, block + 97, 28);
    } else {
        track = -1;
        takeField(comment, block + 97, FIELD);
    }
    genre = block[127];
    return true;
}

void ID3v1::build(uint8_t block[SIZE]) const {
    memset(block, 0, SIZE);
    memcpy(block, "TAG", 3);
    putField(block + 3, title, FIELD);
    putField(block + 33, artist, FIELD);
    putField(block + 63, album, FIELD);
    // A tag without a year leaves the field empty rather than claiming year 0.
    if (year > 0) {
        char digits[16];
        snprintf(digits, sizeof digits, "%d", year);
        memcpy(block + 93, digits, strlen(digits) < 4 ? strlen(digits) : 4);
    }
    putField(block + 97, comment, track >= 0 ? 28 : FIELD);
    if (track >= 0) block[126] = (uint8_t)track;
    block[127] = (uint8_t)genre;
}

void ID3v1::setTitle(const char* t) {
    copyText(title, t);
}
void ID3v1::setArtist(const char* t) {
    copyText(artist, t);
}
void ID3v1::setAlbum(const char* t) {
    copyText(album, t);
}
void ID3v1::setComment(const char* t) {
    copyText(comment, t);
}

bool ID3v1::setYear(int y) {
    if (y < 1000 || y > 3000) return false;
    year = y;
    return true;
}

bool ID3v1::setTrack(int t) {
    if (t < -1 || t > 255) return false;
    track = t;
    return true;
}

bool ID3v1::setGenreText(const char* text) {
    if (!text || !*text) return false;
    char* end = nullptr;
    long n = strtol(text, &end, 10);
    if (*end == 0 && text[0] >= '0' && text[0] <= '9') {
        if (n > 255) return false;
        genre = (int)n;
        return true;
    }
    for (int g = 0; g < GENRES; ++g) {
        if (i4_stricmp(text, GENRE_NAMES[g]) == 0) {
            genre = g;
            return true;
        }
    }
    return false;
}

void ID3v1::genreText(i4_string& out, bool named) const {
    if (!named) return;
    out = genre >= 0 && genre < GENRES ? GENRE_NAMES[genre] : "not supported";
}
