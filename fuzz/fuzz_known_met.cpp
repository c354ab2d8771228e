// layer: transfer
// known.met as a crash, a full disk or another program may leave it, read as the transfer
// side loads it: through the real file classes, its last good copy when it is damaged, and
// the old-format check. The first two bytes give the length of known.met; the rest, when
// there is any, is its ".bak". What was kept must write and read back to the same records.
#include <stdint.h>
#include <string>
#include <unistd.h>

#include "core/CoreOptions.h"
#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "util/LLView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        coreFuzzSetup();
        theCoreOptions.load(fuzzTempDir().c_str());
        theTransferOptions.load();
        return true;
    }();
    if (!ready || size < 2 || size > (1u << 20)) return 0;
    size_t first = (size_t)data[0] | (size_t)data[1] << 8;
    if (first > size - 2) first = size - 2;
    fuzzFile("known.met", data + 2, first);
    std::string bak = fuzzTempDir() + "/known.met.bak";
    if (size - 2 > first)
        fuzzFile("known.met.bak", data + 2 + first, size - 2 - first);
    else
        unlink(bak.c_str());

    TransferGateway gateway;
    gateway.loadKnownList();
    FileList& known = gateway.knownList;
    // The check leaves either nothing or a list whose first large file has its crumbs.
    for (FileMeta* m : LLView<FileMeta>(known.getList())) {
        if (m->getFileSize() <= FileParts::CRUMB_SIZE) continue;
        if (!m->hasCrumbHashes()) __builtin_trap();
        break;
    }
    i4_ram_file_class out(nullptr, 0, 1024);
    if (known.toBytes(out)) {
        i4_ram_file_class again(out.get_buffer(), (int32_t)out.size(), 0);
        FileList back;
        if (!back.fromDisk(again) || back.getList()->count() != known.getList()->count())
            __builtin_trap();
        back.deleteAll();
    }
    i4_free(out.get_buffer());
    return 0;
}
