// layer: server
// server.met as a damaged or hostile file may hold it: read, written back, read again to
// the same count; merged into a list that already holds part of it.
#include <stdint.h>

#include "fuzz/server_fuzz_setup.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "server/ExServer.h"
#include "server/ExServerList.h"
#include "util/LLView.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    serverFuzzSetup();
    if (size > (1u << 20)) return 0;
    i4_ram_file_class in((void*)data, (int32_t)size, 0);
    ExServerList list;
    list.fromDisk(in);
    printMetaList(&list);

    i4_ram_file_class out(nullptr, 0, 1024);
    if (list.toBytes(out)) {
        i4_ram_file_class again(out.get_buffer(), (int32_t)out.size(), 0);
        ExServerList back;
        if (!back.fromDisk(again) || back.getList()->count() != list.getList()->count())
            __builtin_trap();
        for (ExServer* s : LLView<ExServer>(back.getList())) {
            if (s->pref != -2 && s->pref != 0 && s->pref != 2) __builtin_trap();
            s->setPing(s->history);
            if (list.addIfAbsent(s)) delete s;
        }
        back.clear();
    }
    i4_free(out.get_buffer());
    list.deleteAll();
    return 0;
}
