// layer: meta
// Known-file records (both layouts) and user records as list files, read from memory or
// through the real file classes, and file records from the wire; whatever reads must write and
// read back to the same count.
#include <stdint.h>
#include <string.h>

#include "fuzz/fuzz_temp_file.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/UserList.h"
#include "util/LLView.h"

namespace {

template <class List>
void roundTrip(List& list) {
    i4_ram_file_class out(nullptr, 0, 1024);
    if (list.toBytes(out)) {
        i4_ram_file_class again(out.get_buffer(), (int32_t)out.size(), 0);
        List back;
        if (!back.fromDisk(again) || back.getList()->count() != list.getList()->count())
            __builtin_trap();
        back.deleteAll();
    }
    i4_free(out.get_buffer());
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20) || size < 1) return 0;
    i4_ram_file_class in((void*)(data + 1), (int32_t)size - 1, 0);
    switch (data[0] % 3) {
    case 0: {
        FileList files;
        // Through the real file classes, as known.met is loaded, or from memory.
        if (data[0] & 0x80)
            files.load(fuzzFile("known.met", data + 1, size - 1).c_str());
        else
            files.fromDisk(in);
        for (FileMeta* m : LLView<FileMeta>(files.getList())) {
            for (int i = -1; i <= m->partCount(); ++i) m->getPartHash(i);
            for (int i = -1; i <= m->crumbCount(); ++i) m->getCrumbHash(i);
            m->hashSetsSize();
            m->print(true);
            m->stripTransientTags();
        }
        roundTrip(files);
        files.deleteAll();
        break;
    }
    case 1: {
        UserList users;
        if (data[0] & 0x80)
            users.load(fuzzFile("friend.met", data + 1, size - 1).c_str());
        else
            users.fromDisk(in);
        roundTrip(users);
        users.deleteAll();
        break;
    }
    default: {
        FileList files;
        files.fromNetwork(in);
        i4_ram_file_class out(nullptr, 0, 256);
        files.toNetwork(out);
        i4_free(out.get_buffer());
        files.deleteAll();
        break;
    }
    }
    return 0;
}
