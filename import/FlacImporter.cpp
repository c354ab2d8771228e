#include "import/FlacImporter.h"

#include <string.h>

#include "i4min/file/i4_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_string.h"
#include "import/FileBytes.h"
#include "import/ID3v1.h"
#include "import/VorbisTag.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "util/UniqueID.h"

namespace {

const char* const WARNING = "Warning:";
const char* const MISFORMATTED = "fLaC file misformatted";

}  // namespace

bool FlacImporter::import(FileMeta& record, i4_file& file, const char* ext) {
    if (strcmp(ext, "flac") != 0) return false;
    addType(record, "Audio");
    addFormat(record, "flac");
    bool good = true;
    int64_t size = file.size();
    uint8_t block[ID3v1::SIZE];
    ID3v1 id3;
    if (size >= ID3v1::SIZE && readBytesAt(file, size - ID3v1::SIZE, block, ID3v1::SIZE) &&
        id3.parse(block)) {
        if (*id3.getArtist()) addText(record, "Artist", id3.getArtist());
        if (*id3.getAlbum()) addText(record, "Album", id3.getAlbum());
        if (*id3.getTitle()) addText(record, "Title", id3.getTitle());
    } else {
        uint8_t magic[4];
        if (!readBytesAt(file, 0, magic, sizeof magic)) {
            good = false;
        } else if (memcmp(magic, "fLaC", 4) == 0) {
            VorbisTag tag;
            if (tag.read(file))
                addMetadata(record, tag);
            else
                addText(record, WARNING, MISFORMATTED);
            good = !tag.ranPastEnd();
        }
    }
    if (!good) addText(record, WARNING, MISFORMATTED);
    return true;
}

void FlacImporter::addMetadata(FileMeta& record, const VorbisTag& tag) {
    i4_string vendor;
    tag.getVendor(vendor);
    if (!vendor.is_empty()) addText(record, "Vendor", vendor.c_str());
    for (int i = 0; i < tag.getCommentCount(); ++i) {
        i4_string name, value;
        if (!tag.getComment(i, name, value, COMMENT_ROOM)) continue;
        // A name of one byte would be read back as a special tag's id, and one past
        // the record model's limit would come back cut.
        if (name.length() < 2 || name.length() > MetaTag::MAX_NAME) continue;
        // "ARTIST" becomes "Artist": the first letter stays, the others are lowered.
        i4_string rest(name.c_str() + 1);
        rest.to_lower();
        i4_string tagName("");
        tagName.append_n(name.c_str(), 1);
        tagName.append(rest);
        addText(record, tagName.c_str(), value.c_str());
    }
    if (tag.getChannels()) addInt(record, "Num Channels", tag.getChannels());
    if (tag.getSampleRate()) addInt(record, "Sample Rate", tag.getSampleRate());
    if (tag.getBitsPerSample()) addInt(record, "Bits per Sample", tag.getBitsPerSample());
    if (tag.getTotalSamples())
        addInt(record, "Total Samples", (int32_t)(uint32_t)tag.getTotalSamples());
    i4_string length;
    tag.lengthText(length);
    if (!length.is_empty()) addText(record, "Length", length.c_str());
    if (!UniqueID::isZero(tag.getRawAudioMD5())) {
        char* hex = UniqueID::toHex(tag.getRawAudioMD5());
        addText(record, "Raw Audio MD5", hex);
        i4_free(hex);
    }
}
