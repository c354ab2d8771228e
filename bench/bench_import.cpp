// layer: import
// What one newly shared file costs the hashing thread in the importers: the MD5 of a
// shn file, the MP3 scan through a file with no frame header (every offset of the
// window tried) and a FLAC comment block of many comments.
#include <benchmark/benchmark.h>
#include <stdint.h>
#include <string.h>
#include <vector>

#include "i4min/file/i4_ram_file_class.h"
#include "import/FlacImporter.h"
#include "import/MD5.h"
#include "import/MP3Info.h"
#include "meta/FileMeta.h"

namespace {

void BM_MD5(benchmark::State& state) {
    std::vector<uint8_t> data(1 << 20, 0x5A);
    uint8_t digest[16];
    for (auto _ : state) {
        MD5::digest(data.data(), data.size(), digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}
BENCHMARK(BM_MD5);

void BM_MP3ScanWithoutHeader(benchmark::State& state) {
    std::vector<uint8_t> data(300 * 1024, 0);
    for (auto _ : state) {
        i4_ram_file_class in(data.data(), (int32_t)data.size(), 0);
        MP3Info info;
        benchmark::DoNotOptimize(info.read(in));
    }
}
BENCHMARK(BM_MP3ScanWithoutHeader);

void put32(std::vector<uint8_t>& b, uint32_t v, bool little) {
    for (int i = 0; i < 4; ++i) b.push_back((uint8_t)(little ? v >> (8 * i) : v >> (24 - 8 * i)));
}

void BM_FlacComments(benchmark::State& state) {
    std::vector<uint8_t> body;
    put32(body, 6, true);
    body.insert(body.end(), {'v', 'e', 'n', 'd', 'o', 'r'});
    put32(body, (uint32_t)state.range(0), true);
    for (int i = 0; i < state.range(0); ++i) {
        const char c[] = "COMMENT=some value";
        put32(body, sizeof c - 1, true);
        body.insert(body.end(), c, c + sizeof c - 1);
    }
    std::vector<uint8_t> file = {'f', 'L', 'a', 'C'};
    put32(file, (0x84u << 24) | (uint32_t)body.size(), false);
    file.insert(file.end(), body.begin(), body.end());
    for (auto _ : state) {
        i4_ram_file_class in(file.data(), (int32_t)file.size(), 0);
        FileMeta record;
        benchmark::DoNotOptimize(FlacImporter().import(record, in, "flac"));
    }
}
BENCHMARK(BM_FlacComments)->Arg(10)->Arg(10000);

}  // namespace
