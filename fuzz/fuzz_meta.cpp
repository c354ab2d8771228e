// layer: meta
// Single records from the disk and the wire: read, looked up, copied, listed and
// written back.
#include <stdint.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/Meta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size > (1u << 20) || size < 1) return 0;
    bool wire = data[0] & 1;
    i4_ram_file_class in((void*)(data + 1), (int32_t)size - 1, 0);
    Meta m;
    bool ok = wire ? m.fromNetwork(in) : m.fromDisk(in);
    (void)ok;
    char buf[40];
    for (int id = 0; id <= 30; ++id) {
        m.getSpecialTagText(id, buf, sizeof buf);
        m.getSpecialInt(id);
    }
    m.getTagFloat("# Sent");
    m.getFileSize();
    m.dump();
    Meta copy;
    copy.copyFrom(&m);
    copy.getName();
    copy.setFileSize(12345);
    i4_ram_file_class out(nullptr, 0, 256);
    copy.toBytes(out);
    m.toNetwork(out);
    m.size();
    i4_free(out.get_buffer());
    return 0;
}
