// layer: transfer
// Sharing, as the client does it: a directory holding a 1 GiB file (in the page cache)
// shared by a hashing pass, every part and crumb hashed, beside OpenSSL's MD4 rate
// measured in the same run (goal: at least 0.45 of it; two MD4 passes per byte make 0.5
// the limit of one chain at a time). And the start-up's read of known.met with 25,000 to
// 100,000 records: time and memory per record (goal: under 1 s for 100,000, memory
// linear). A rescan of 50,000 files that did not change (goal: under 10 s). TMPDIR chooses
// the file system (/tmp by default).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/bench_support.h"
#include "core/CoreOptions.h"
#include "core/Message.h"
#include "core/MessageHandler.h"
#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_null_file_class.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"

namespace {

const uint64_t FILE_SIZE = 1ull << 30;

// A base directory of the run's own, which the settings and the transfer options use;
// the console is silent.
const std::string& baseDir() {
    static std::string dir;
    if (!dir.empty()) return dir;
    const char* root = getenv("TMPDIR");
    std::string t = std::string(root && *root ? root : "/tmp") + "/bench-share-XXXXXX";
    dir = mkdtemp(&t[0]) ? t : "/tmp";
    static i4_null_file_class sink;
    static UIGateway quiet;
    quiet.setOutput(&sink);
    theUI = &quiet;
    initSpecialTags();
    theCoreOptions.load(dir.c_str());
    theTransferOptions.load();
    return dir;
}

// Bytes the allocator has handed out and not been given back.
long long heapInUse() {
    struct mallinfo2 m = mallinfo2();
    return (long long)m.uordblks + (long long)m.hblkhd;
}

void removeFile(const std::string& name) {
    unlink((baseDir() + "/" + name).c_str());
}

// The shared directory with its one 1 GiB file, read once so that the page cache holds it.
std::string sharedDirectory() {
    static std::string shared;
    if (!shared.empty()) return shared;
    shared = baseDir() + "/shared";
    mkdir(shared.c_str(), 0700);
    std::string path = shared + "/big.bin";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::vector<uint8_t> block(1 << 20);
    bool ok = fd >= 0;
    for (uint64_t at = 0; ok && at < FILE_SIZE; at += block.size()) {
        for (size_t i = 0; i < block.size(); i += 64) block[i] = (uint8_t)((at >> 20) + i);
        ok = write(fd, block.data(), block.size()) == (ssize_t)block.size();
    }
    if (fd >= 0) close(fd);
    fd = open(path.c_str(), O_RDONLY);
    while (ok && read(fd, block.data(), block.size()) > 0) {
    }
    if (fd >= 0) close(fd);
    if (!ok) shared.clear();
    return shared;
}

void BM_ShareA1GiBFile(benchmark::State& state) {
    std::string shared = sharedDirectory();
    if (shared.empty()) {
        state.SkipWithError("cannot write the 1 GiB file");
        return;
    }
    double openssl = opensslMd4Rate();
    for (auto _ : state) {
        FileList known;
        ShareList shares;
        MessageQ queue;
        HashThread thread(known, shares, queue);
        std::vector<i4_string> dirs{i4_string(shared.c_str())};
        thread.startHashing(dirs);
        while (!thread.isPassDone() || thread.getState() != Thread::NOT_RUNNING) i4_sleep_ms(5);
        if (known.getList()->count() != 1) state.SkipWithError("the file was not shared");
        known.deleteAll();
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)FILE_SIZE);
    if (openssl > 0) state.counters["openssl_md4_B/s"] = openssl;
    state.counters["share_B/s"] =
        benchmark::Counter((double)FILE_SIZE * state.iterations(), benchmark::Counter::kIsRate);
    removeFile("known.met");
    removeFile("share.dat");
}
BENCHMARK(BM_ShareA1GiBFile)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// known.met of n records as a library of music files makes it: 3 to 10 MB each, so one
// part and 7 to 21 crumb hashes, a name, a size, a format, a bitrate, the upload priority
// and the copies sent.
void writeKnownMet(int n) {
    FileList list;
    for (int i = 0; i < n; ++i) {
        FileMeta* m = new FileMeta();
        char name[64];
        snprintf(name, sizeof name, "Artist %d - Title of song number %d.mp3", i % 997, i);
        m->setName(name);
        m->setFileSize(3000000 + (uint32_t)(i % 7000) * 1000);
        uint8_t hash[16];
        for (int b = 0; b < 16; ++b) hash[b] = (uint8_t)(i >> (b % 4 * 8)) ^ (uint8_t)b;
        m->setFileHash(hash);
        m->setModTime(1700000000 + i);
        std::vector<uint8_t> crumbs((size_t)m->crumbCount() * 8, (uint8_t)i);
        m->setCrumbHashes(crumbs.data(), m->crumbCount());
        m->setSpecialTag(SpecialTagInfo::FORMAT, "mp3");
        int32_t bitrate = 128;
        m->setTag("bitrate", &bitrate, MetaTag::INT);
        m->addTransientTags();
        list.add(m);
    }
    list.save(theTransferOptions.getKnownPath().c_str(), true);
    list.deleteAll();
}

void BM_LoadKnownMet(benchmark::State& state) {
    baseDir();
    int n = (int)state.range(0);
    writeKnownMet(n);
    long long memory = 0;
    for (auto _ : state) {
        TransferGateway gateway;
        long long before = heapInUse();
        gateway.loadKnownList();
        memory = heapInUse() - before;
        if (gateway.knownList.getList()->count() != n) state.SkipWithError("records lost");
        state.PauseTiming();
        gateway.knownList.deleteAll();
        state.ResumeTiming();
    }
    state.counters["records"] = n;
    state.counters["bytes_per_record"] = (double)memory / n;
    removeFile("known.met");
}
BENCHMARK(BM_LoadKnownMet)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

const int RESCAN_FILES = 50000;

// The core task thread's part of a pass: each hashed record goes to the gateway.
class ShareOnCore : public MessageHandler {
public:
    void handleMessage(Message* m) override {
        theTransferGateway.fileHashed(m->take<FileMeta>().release());
    }
};

// A shared directory of RESCAN_FILES small files, every one of them known (path, size,
// time, a hash of its own) and shared, as after the pass that read them.
std::string knownShare() {
    static std::string shared;
    if (!shared.empty()) return shared;
    std::string dir = baseDir() + "/many";
    mkdir(dir.c_str(), 0700);
    FileList& known = theTransferGateway.knownList;
    for (int i = 0; i < RESCAN_FILES; ++i) {
        char name[64];
        snprintf(name, sizeof name, "/track %05d.mp3", i);
        std::string path = dir + name;
        int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        struct stat st;
        bool ok = fd >= 0 && write(fd, name, 1 + i % 8) == 1 + i % 8 && fstat(fd, &st) == 0;
        if (fd >= 0) close(fd);
        if (!ok) return shared;
        FileMeta* m = new FileMeta();
        m->setName(name + 1);
        m->setPath(path.c_str());
        m->setFileSize((uint32_t)st.st_size);
        m->setModTime((uint32_t)st.st_mtime);
        uint8_t hash[16];
        for (int b = 0; b < 16; ++b) hash[b] = (uint8_t)(i >> (b % 4 * 8)) ^ (uint8_t)b;
        m->setFileHash(hash);
        m->addTransientTags();
        known.add(m);
    }
    theTransferGateway.shareList.setDirectories({i4_string(dir.c_str())});
    shared = dir;
    return shared;
}

// One rescan on the client's own objects: the hashing thread's pass and the core task
// thread's handling of its records, until the pass has ended and every record is in.
void rescan() {
    theTransferGateway.rescanShared();
    for (;;) {
        bool over = theHashThread.isPassDone() && theHashThread.getState() == Thread::NOT_RUNNING;
        if (theMessageQ.nextDueMs() == 0)
            theMessageQ.run(0);
        else if (over)
            break;
        else
            i4_sleep_ms(1);
    }
}

// A rescan of a share of 50,000 files that did not change (goal: under 10 s). None is
// read; each stays shared through the pass.
void BM_RescanUnchangedShare(benchmark::State& state) {
    if (knownShare().empty()) {
        state.SkipWithError("cannot write the files");
        return;
    }
    static ShareOnCore core;
    theMessageQ.setHandler(&core, MSG_SHARE_FILE);
    rescan();  // shares them, as the pass at start-up does
    for (auto _ : state) rescan();
    if (theTransferGateway.sharedList.getList()->count() != RESCAN_FILES)
        state.SkipWithError("files lost");
    state.counters["files"] = RESCAN_FILES;
}
BENCHMARK(BM_RescanUnchangedShare)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The sharing ratio on its own line after the table.
class ShareReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            auto s = r.counters.find("share_B/s");
            auto o = r.counters.find("openssl_md4_B/s");
            if (s == r.counters.end() || o == r.counters.end() || o->second.value <= 0) continue;
            printf("sharing 1 GiB: %.1f MB/s; openssl md4: %.1f MB/s; ratio %.2f (goal >= 0.45)\n",
                   s->second.value / 1e6, o->second.value / 1e6, s->second.value / o->second.value);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ShareReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::string dir = baseDir();
    if (dir != "/tmp") {
        for (int i = 0; i < RESCAN_FILES; ++i) {
            char name[64];
            snprintf(name, sizeof name, "many/track %05d.mp3", i);
            removeFile(name);
        }
        rmdir((dir + "/many").c_str());
        removeFile("known.met");
        removeFile("share.dat");
        removeFile("shared/big.bin");
        rmdir((dir + "/shared").c_str());
        rmdir((dir + "/incoming").c_str());
        rmdir((dir + "/temp").c_str());
        rmdir(dir.c_str());
    }
    return 0;
}
