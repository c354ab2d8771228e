// layer: import
// MP3 files: the frame scan, the ID3v2 skip, the Xing header and the ID3v1 tag, and
// the importer's tags. A tag read back from what it builds must read the same.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "import/ID3v1.h"
#include "import/MP3Importer.h"
#include "import/MP3Info.h"
#include "meta/FileMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20)) return 0;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    MP3Info info;
    if (info.read(in) == MP3Info::FOUND) {
        if (info.getHeaderOffset() < 0 || info.getHeaderOffset() + 4 > (int64_t)size ||
            !info.getHeader().isValid() || info.bitrate() < 0)
            __builtin_trap();
        i4_string t;
        info.durationText(t);
        char buf[40];
        info.getHeader().versionText(buf, sizeof buf);
        info.getHeader().channelModeText();
    }
    if (size >= ID3v1::SIZE) {
        ID3v1 tag;
        if (tag.parse(data + size - ID3v1::SIZE)) {
            uint8_t built[ID3v1::SIZE];
            tag.build(built);
            ID3v1 back;
            if (!back.parse(built) || strcmp(back.getTitle(), tag.getTitle()) ||
                strcmp(back.getArtist(), tag.getArtist()) ||
                strcmp(back.getAlbum(), tag.getAlbum()) ||
                strcmp(back.getComment(), tag.getComment()) || back.getYear() != tag.getYear() ||
                back.getTrack() != tag.getTrack() || back.getGenre() != tag.getGenre())
                __builtin_trap();
            i4_string genre;
            tag.genreText(genre, true);
        }
    }
    FileMeta record;
    MP3Importer importer;
    importer.import(record, in, "mp3");
    return 0;
}
