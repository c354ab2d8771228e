// layer: meta
// filters.txt as the user edits it: any bytes load through the real file classes, and every
// word then matches records without a read past its end. The first byte splits the input
// into the file and a name that the records to filter carry.
#include <stdint.h>
#include <string>

#include "fuzz/fuzz_temp_file.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/string/i4_string.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FilterMaster.h"
#include "meta/Search.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    metaFuzzSetup();
    if (size < 1 || size > (1u << 20)) return 0;
    size_t nameLength = data[0] < size - 1 ? data[0] : size - 1;
    std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    const uint8_t* file = data + 1 + nameLength;
    size_t fileSize = size - 1 - nameLength;

    FilterMaster filters;
    if (!filters.load(fuzzFile("filters.txt", file, fileSize).c_str())) return 0;
    int words = filters.wordCount();
    i4_string text;
    filters.toText(text);

    FileList list;
    for (int i = 0; i < 3; i++) {
        FileMeta* m = new FileMeta();
        m->setName(name.c_str());
        m->setFileSize((uint32_t)i);
        list.add(m);
    }
    FileMeta probe;
    probe.setName(name.c_str());
    bool matched = filters.matches(&probe);
    filters.filter(&list);
    // A record the words match is dropped, one they do not is kept.
    if (list.getList()->count() != (matched ? 0 : 3)) __builtin_trap();
    list.deleteAll();
    if (words > 0 && filters.getSearch() == nullptr) __builtin_trap();
    return 0;
}
