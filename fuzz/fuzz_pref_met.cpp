// layer: core
// pref.met as a whole, as a crash, a full disk or another program may leave it: the own user
// record and the settings record read through the real file classes, with the stored values
// interpreted (limits, page length, name, language, proxy) and the own record written back. The
// first two bytes give the length of pref.met; the rest, when there is any, is its ".bak".
#include <stdint.h>

#include "core/CoreOptions.h"
#include "fuzz/core_fuzz_setup.h"
#include "fuzz/fuzz_temp_file.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/net/i4_proxy_settings.h"
#include "meta/UserMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    coreFuzzSetup();
    if (size < 2 || size > (1u << 20)) return 0;
    size_t first = (size_t)data[0] | (size_t)data[1] << 8;
    if (first > size - 2) first = size - 2;
    const std::string& dir = fuzzTempDir();
    fuzzFile("pref.met", data + 2, first);
    std::string bak = dir + "/pref.met.bak";
    if (size - 2 > first)
        fuzzFile("pref.met.bak", data + 2 + first, size - 2 - first);
    else
        unlink(bak.c_str());

    CoreOptions options;
    options.load(dir.c_str());
    int n;
    options.getIntPref("maxCon", &n);
    options.getStringPref("uiPath");
    options.getOwnUser()->getName();
    options.setMaxUpload(options.getMaxUpload());
    options.setMaxDownload(options.getMaxDownload());
    if (!(options.getMaxDownload() >= 0) || !(options.getMaxUpload() >= 0)) __builtin_trap();
    // The own record goes on the wire as read (a save would fsync, which would cost the run
    // most of its time); it must read back.
    i4_ram_file_class out(nullptr, 0, 1024);
    if (options.writeUserMeta(out)) {
        i4_ram_file_class back(out.get_buffer(), (int32_t)out.size(), 0);
        UserMeta user;
        if (!user.fromNetwork(back)) __builtin_trap();
    }
    i4_free(out.get_buffer());
    return 0;
}
