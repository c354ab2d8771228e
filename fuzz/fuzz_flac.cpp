// layer: import
// FLAC files: metadata blocks, the stream information and the Vorbis comment block,
// through the importer and the reader alone. Comments stay within their cap.
#include <stddef.h>
#include <stdint.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "import/FlacImporter.h"
#include "import/VorbisTag.h"
#include "meta/FileMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20)) return 0;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    FileMeta record;
    FlacImporter importer;
    if (!importer.import(record, in, "flac")) __builtin_trap();

    VorbisTag tag;
    tag.read(in);
    if (tag.getCommentCount() > VorbisTag::MAX_COMMENTS) __builtin_trap();
    for (int i = 0; i < tag.getCommentCount(); ++i) {
        i4_string name, value;
        tag.getComment(i, name, value, FlacImporter::COMMENT_ROOM);
    }
    i4_string text;
    tag.lengthText(text);
    tag.getVendor(text);
    return 0;
}
