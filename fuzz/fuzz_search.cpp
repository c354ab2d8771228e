// layer: meta
// Reads a search expression from arbitrary bytes, then writes, sizes, copies,
// shows and matches whatever was read.
#include <stddef.h>
#include <stdint.h>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "meta/Meta.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"
#include "meta/Search.h"
#include "meta/SearchNode.h"
#include "meta/SpecialTagInfo.h"

namespace {

class Quiet : public MetaOutput {
public:
    void printLine(const char*) override {}
    void print(const char*) override {}
    void printFlush(const char*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Quiet quiet;
    static Meta* record = [] {
        initSpecialTags();
        setMetaOutput(&quiet);
        Meta* m = new Meta();
        m->setName("Some Name.mp3");
        m->setTag("Artist", "band", MetaTag::STRING);
        int32_t rate = 128;
        m->setTag("bitrate", &rate, MetaTag::INT);
        return m;
    }();

    std::vector<uint8_t> bytes(data, data + size);
    i4_ram_file_class in(bytes.empty() ? nullptr : bytes.data(), (int32_t)bytes.size(), 0);
    Search* search = new Search();
    search->addRef();
    if (search->fromNetwork(in)) {
        i4_ram_file_class out(nullptr, 0, 256);
        if (search->toNetwork(out) && out.size() != search->size()) __builtin_trap();
        i4_free(out.get_buffer());
        SearchNode* copy = search->getRoot()->clone();
        if (copy->size() != search->size()) __builtin_trap();
        delete copy;
        i4_string text("");
        search->toString(text);
        search->matches(record);
    }
    search->release();
    return 0;
}
