// layer: transfer
// The data path of a download: a 1 GiB file's 184,320-byte blocks written in
// random order into a partial file of each layout, every crumb and part
// checked against its hash, beside plain writes of the same blocks in the same
// order and OpenSSL's MD4 rate measured in the same run. The goal is at least
// 0.8 of the rate of plain writes and one MD4 pass together; the ratio to the
// MD4 rate alone is printed too. TMPDIR chooses the file system (/tmp by
// default).
#include <algorithm>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <random>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "bench/bench_support.h"
#include "core/UIGateway.h"
#include "meta/FileHashState.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/PartialFile.h"
#include "transfer/download/TempFiles.h"
#include "transfer/share/TransferOptions.h"

namespace {

const uint32_t FILE_SIZE = 1u << 30;
const uint32_t BLOCK = 184320;

std::string scratchRoot() {
    const char* dir = getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp");
}

// The download's bytes, its record (with every part and crumb hash) and the
// blocks' random order, made once.
struct Download {
    Download() : content(FILE_SIZE) {
        for (size_t i = 0; i < content.size(); i += 4) {
            uint32_t v = (uint32_t)(i * 2654435761u) ^ (uint32_t)(i >> 7);
            memcpy(&content[i], &v, 4);
        }
        char templ[256];
        snprintf(templ, sizeof templ, "%s/bench-partial-XXXXXX", scratchRoot().c_str());
        root = mkdtemp(templ) ? templ : "";
        if (root.empty()) return;
        std::string source = root + "/source";
        int fd = open(source.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        bool ok = fd >= 0 && write(fd, content.data(), content.size()) == (ssize_t)content.size();
        if (fd >= 0) close(fd);
        if (!ok) {
            root.clear();
            return;
        }
        initSpecialTags();
        FileHashState state;
        record = new FileMeta(source.c_str(), state);
        while (record->hashStep(state)) {
        }
        record->setName("bench.bin");
        unlink(source.c_str());
        for (uint64_t s = 0; s < FILE_SIZE; s += BLOCK) order.push_back((uint32_t)s);
        std::shuffle(order.begin(), order.end(), std::mt19937(1));
        std::string temp = root + "/temp", incoming = root + "/incoming";
        theTransferOptions.setTemp(temp.c_str());
        theTransferOptions.setIncoming(incoming.c_str());
    }
    std::vector<uint8_t> content;
    std::string root;
    FileMeta* record = nullptr;
    std::vector<uint32_t> order;
};

Download& download() {
    static Download d;
    return d;
}

void removeTree(const std::string& path) {
    std::string cmd = "rm -rf '" + path + "'";
    if (system(cmd.c_str()) != 0) fprintf(stderr, "could not remove %s\n", path.c_str());
}

void addRates(benchmark::State& state) {
    state.SetBytesProcessed((int64_t)state.iterations() * FILE_SIZE);
    state.counters["rate_B/s"] =
        benchmark::Counter((double)FILE_SIZE * state.iterations(), benchmark::Counter::kIsRate);
    double md4 = opensslMd4Rate();
    if (md4 > 0) state.counters["openssl_md4_B/s"] = md4;
}

void BM_PlainWrites(benchmark::State& state) {
    Download& d = download();
    if (d.root.empty()) return state.SkipWithError("cannot write the scratch files");
    std::string path = d.root + "/plain";
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
        for (uint32_t s : d.order) {
            uint32_t n = std::min(BLOCK, FILE_SIZE - s);
            if (pwrite(fd, d.content.data() + s, n, s) != (ssize_t)n) state.SkipWithError("write");
        }
        close(fd);
        state.PauseTiming();
        unlink(path.c_str());
        state.ResumeTiming();
    }
    addRates(state);
}

template <class Layout>
void BM_Download(benchmark::State& state) {
    Download& d = download();
    if (d.root.empty()) return state.SkipWithError("cannot write the scratch files");
    UIGateway quiet;
    for (auto _ : state) {
        state.PauseTiming();
        removeTree(d.root + "/temp");
        theTransferOptions.setTemp((d.root + "/temp2").c_str());
        theTransferOptions.setTemp((d.root + "/temp").c_str());
        theTempFiles.reset();
        DLProgress map;
        PartialFile* file = new Layout();
        file->addRef();
        file->setProgress(&map);
        bool created = file->create(d.record);
        state.ResumeTiming();
        bool more = created;
        for (uint32_t s : d.order) {
            uint32_t e = std::min(s + BLOCK, FILE_SIZE);
            more = file->writeBlock(d.content.data() + s, e - s, s, e).gapsRemain;
        }
        state.PauseTiming();
        bool checked = !more && file->getTransferred() == FILE_SIZE;
        for (int p = 0; checked && p < file->partCount(); p++) checked = file->isPartDone(p);
        for (int c = 0; checked && c < file->crumbCount(); c++) checked = file->isCrumbDone(c);
        if (!checked) state.SkipWithError("not every part and crumb passed its check");
        file->close();
        file->release();
        state.ResumeTiming();
    }
    addRates(state);
}

void BM_DownloadOneFile(benchmark::State& state) {
    BM_Download<PartialFile>(state);
}
void BM_DownloadFilePerPart(benchmark::State& state) {
    BM_Download<CompPartialFile>(state);
}

BENCHMARK(BM_PlainWrites)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DownloadOneFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_DownloadFilePerPart)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto rate = r.counters.find("rate_B/s");
            if (rate == r.counters.end()) continue;
            std::string name = r.benchmark_name();
            if (name.find("PlainWrites") != std::string::npos) {
                writes = rate->second.value;
                continue;
            }
            double md4 = opensslMd4Rate();
            if (md4 <= 0) {
                printf("%s: %.1f MB/s (openssl speed unavailable)\n", name.c_str(),
                       rate->second.value / 1e6);
                continue;
            }
            double both = writes > 0 ? 1.0 / (1.0 / writes + 1.0 / md4) : 0;
            printf(
                "%s: %.1f MB/s; openssl md4 %.1f MB/s, ratio %.2f; plain writes %.1f MB/s, "
                "writes + md4 %.1f MB/s, ratio %.2f (goal >= 0.8)\n",
                name.c_str(), rate->second.value / 1e6, md4 / 1e6, rate->second.value / md4,
                writes / 1e6, both / 1e6, both > 0 ? rate->second.value / both : 0.0);
        }
    }
    double writes = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (!download().root.empty()) removeTree(download().root);
    return 0;
}
