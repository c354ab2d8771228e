// layer: import
// AVI files: the RIFF header list, its stream lists and stream headers.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <unistd.h>

#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "import/AVIImporter.h"
#include "meta/FileMeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool quiet = [] {
        // The importer reports a bad main header on standard output; libFuzzer
        // reports on standard error.
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 1);
        return true;
    }();
    (void)quiet;
    metaFuzzSetup();
    if (size > (1u << 20)) return 0;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    FileMeta record;
    AVIImporter importer;
    importer.import(record, in, size & 1 ? "avi" : "divx");
    return 0;
}
