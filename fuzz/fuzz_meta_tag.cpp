// layer: meta
// Tags as they arrive in records from files and peers: read, shown, copied and
// written back; what was written once must read back to the same bytes.
#include <stdint.h>
#include <string.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/MetaTag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20)) return 0;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    for (int i = 0; i < 64 && in.tell() < in.size(); ++i) {
        MetaTag* tag = MetaTag::readTag(in);
        if (!tag) break;
        char small[7], wide[300];
        memset(small, 0, sizeof small);
        tag->getValueText(small, 6);
        if (small[6] != 0) __builtin_trap();
        tag->getValueText(wide, sizeof wide);
        tag->getName();
        tag->isFlagged();
        tag->size();
        MetaTag* copy = tag->clone();

        i4_ram_file_class once(nullptr, 0, 256);
        i4_ram_file_class twice(nullptr, 0, 256);
        if (tag->toBytes(once)) {
            i4_ram_file_class again(once.get_buffer(), (int32_t)once.size(), 0);
            MetaTag* back = MetaTag::readTag(again);
            if (!back || !back->toBytes(twice) || twice.size() != once.size() ||
                memcmp(once.get_buffer(), twice.get_buffer(), (size_t)once.size()) != 0)
                __builtin_trap();
            delete back;
        }
        i4_free(once.get_buffer());
        i4_free(twice.get_buffer());
        delete copy;
        delete tag;
    }
    return 0;
}
