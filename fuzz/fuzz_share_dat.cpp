// layer: transfer
// share.dat as any program may leave it: its paths read through the real file classes as the
// transfer side loads them, each listable one shared and the incoming directory always; each
// path read is the text stored for it (up to a zero byte, which no path holds).
#include <stdint.h>
#include <string.h>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/string/i4_err.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool ready = [] {
        coreFuzzSetup();
        theCoreOptions.load(fuzzTempDir().c_str());
        theTransferOptions.load();
        return true;
    }();
    if (!ready || size > (1u << 20)) return 0;

    std::vector<i4_string> paths;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    try {
        ShareList::readPaths(in, paths);
    } catch (const i4_err&) {
    }
    size_t at = 0;
    for (const i4_string& p : paths) {
        if (at + 2 > size) __builtin_trap();
        size_t n = (size_t)data[at] | (size_t)data[at + 1] << 8;
        if (at + 2 + n > size) __builtin_trap();
        const char* stored = (const char*)data + at + 2;
        size_t text = strnlen(stored, n);
        if ((size_t)p.length() != text || memcmp(p.c_str(), stored, text) != 0) __builtin_trap();
        at += 2 + n;
    }

    ShareList shares;
    shares.load(fuzzFile("share.dat", data, size).c_str());
    std::vector<i4_string> listed;
    shares.directoryNames(listed);
    i4_string incoming = theTransferOptions.getIncoming();
    int incomingListed = 0;
    for (const i4_string& d : listed) {
        incomingListed += ShareList::samePath(d.c_str(), incoming.c_str());
        if (!shares.findDirectoryFiles(d.c_str())) __builtin_trap();
    }
    if (incomingListed < 1) __builtin_trap();
    return 0;
}
