// layer: meta
// List files (server.met, known.met, friend.met shapes) and wire lists of plain
// records: read (from memory or through a real file), printed as a table, copied and written
// back.
#include <stdint.h>

#include "fuzz/fuzz_temp_file.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/Meta.h"
#include "meta/MetaList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20) || size < 1) return 0;
    bool wire = data[0] & 1;
    i4_ram_file_class in((void*)(data + 1), (int32_t)size - 1, 0);
    MetaList list;
    if (wire)
        list.fromNetwork(in);
    else if (data[0] & 2)
        list.load(fuzzFile("list.met", data + 1, size - 1).c_str());
    else
        list.fromDisk(in);
    printMetaList(&list);
    MetaList copy;
    copy.copyFrom(&list);
    i4_ram_file_class out(nullptr, 0, 256);
    copy.toBytes(out);
    list.toNetwork(out);
    list.size();
    MetaList view;
    view.appendAll(&copy);
    view.removeAll(&view);
    copy.removeAll(&list);
    copy.deleteAll();
    list.deleteAll();
    i4_free(out.get_buffer());
    return 0;
}
