// layer: i4min
// Building packets and formatted texts in growing memory files: the cost of
// whole-step growth and of the one-byte-at-a-time printf engine.
#include <benchmark/benchmark.h>

#include "i4min/file/i4_ram_file_class.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_string.h"

static void BM_BuildPacket(benchmark::State& state) {
    i4_string name("some shared file name.ogg");
    for (auto _ : state) {
        i4_ram_file_class f(nullptr, 0, 256);
        for (int i = 0; i < state.range(0); i++) {
            f.write_8(0x02);
            f.write_32((uint32_t)i);
            f.write_16(0x1234);
            name.write(f);
        }
        benchmark::DoNotOptimize(f.get_buffer());
        i4_free(f.get_buffer());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * (7 + 2 + name.length()));
}
BENCHMARK(BM_BuildPacket)->Arg(1)->Arg(100)->Arg(10000);

static void BM_FormatString(benchmark::State& state) {
    i4_string s;
    for (auto _ : state) {
        s.format("%s: %d of %u parts, %5.1f%% at %x", "download", 17, 42u, 40.5, 0xbeefu);
        benchmark::DoNotOptimize(s.c_str());
    }
}
BENCHMARK(BM_FormatString);

static void BM_ReadStoredStrings(benchmark::State& state) {
    i4_ram_file_class out(nullptr, 0, 4096);
    i4_string name("a reasonably long file name for a search result.mp3");
    for (int i = 0; i < 1000; i++) name.write(out);
    for (auto _ : state) {
        i4_ram_file_class in(out.get_buffer(), (int32_t)out.size(), 0);
        for (int i = 0; i < 1000; i++) {
            i4_string s(200, in);
            benchmark::DoNotOptimize(s.c_str());
        }
    }
    i4_free(out.get_buffer());
}
BENCHMARK(BM_ReadStoredStrings);
