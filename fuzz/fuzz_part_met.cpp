// layer: transfer
// A download's ".part.met" record of either layout, loaded as the download pool
// loads it (gap tags, part times, the crumb map), then hash sets from a peer
// given to the loaded download; and the serialised gap list.
#include <stdint.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>

#include "core/UIGateway.h"
#include "fuzz/meta_fuzz_setup.h"
#include "i4min/file/i4_null_file_class.h"
#include "i4min/file/i4_ram_file_class.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/share/TransferOptions.h"
#include "util/BoolArray.h"

namespace {

std::string setUp() {
    static std::string temp;
    if (!temp.empty()) return temp;
    metaFuzzSetup();
    static i4_null_file_class sink;
    static UIGateway quiet;
    quiet.setOutput(&sink);
    theUI = &quiet;
    char templ[] = "/tmp/fuzz-part-met-XXXXXX";
    temp = mkdtemp(templ) ? templ : "/tmp";
    mkdir((temp + "/sub").c_str(), 0777);
    theTransferOptions.setTemp(temp.c_str());
    return temp;
}

void useMap(DLProgress& map) {
    BoolArray all((uint32_t)map.crumbCount());
    all.fill(1);
    uint32_t s, e;
    for (int i = 0; i < 8 && map.nextRange(&all, s, e, 184320); i++) map.refreshGaps(s, e);
    map.randomChunkRange(s, e);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string temp = setUp();
    if (size < 3 || size > (1u << 20)) return 0;
    uint8_t mode = data[0];
    size_t recordBytes = (size_t)data[1] | (size_t)data[2] << 8;
    if (recordBytes > size - 3) recordBytes = size - 3;
    const uint8_t* record = data + 3;
    const uint8_t* rest = record + recordBytes;
    size_t restBytes = size - 3 - recordBytes;

    if (mode % 4 == 3) {
        GapList gaps;
        i4_ram_file_class in((void*)record, (int32_t)(size - 3), 0);
        gaps.fromDisk(in);
        gaps.invert(1000000);
        return 0;
    }
    i4_ram_file_class in((void*)record, (int32_t)recordBytes, 0);
    FileMeta meta;
    int version = PartMetFile::read(in, meta);
    if (!version) return 0;
    meta.setPath((temp + "/sub/1.part.met").c_str());
    meta.removeSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY);
    meta.removeSpecialTag(SpecialTagInfo::STATE);
    DLProgress map;
    PartialFile* file =
        version == PartialFile::VERSION_PARTS ? new CompPartialFile() : new PartialFile();
    file->addRef();
    file->setProgress(&map);
    bool loaded = file->load(&meta, 1);
    useMap(map);
    if (loaded && restBytes) {
        i4_ram_file_class packet((void*)rest, (int32_t)restBytes, 0);
        if (mode % 4 == 1)
            file->setPartHashes(packet);
        else if (mode % 4 == 2)
            file->setCrumbHashes(packet, nullptr);
    }
    file->release();
    return 0;
}
