// layer: net
// Throughput of two framed connections in one pool beside a plain blocking socket pair, and
// the cost of a pool full of idle connections: user-space bytes each, CPU per pass.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <cstring>
#include <fcntl.h>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "bench/bench_sockets.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "net/ClockedConnection.h"
#include "net/STSocketPool.h"
#include "net/TCPConnection.h"

namespace {

struct Sink : TCPConnection {
    explicit Sink(i4_socket* s) : TCPConnection(s, 0xE3) {}
    bool handlePacket(uint8_t, i4_file* f) override {
        got += f->size();
        return true;
    }
    int64_t got = 0;
};

const int kFrame = 64 * 1024;
const int kFramesPerRound = 16;

void BM_PoolTwoConnections(benchmark::State& state) {
    int a, b;
    if (!loopbackPair(&a, &b)) {
        state.SkipWithError("no loopback pair");
        return;
    }
    STSocketPool pool(benchProtocol(), nullptr);
    TCPConnection* sender = new TCPConnection(wrapDescriptor(a), 0xE3);
    Sink* sink = new Sink(wrapDescriptor(b));
    pool.add(sender);
    pool.add(sink);
    pool.processPending();
    // Every frame is filled, as a data frame of an upload is.
    std::vector<char> payload(kFrame, 'x');
    int64_t expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < kFramesPerRound; i++) {
            TCPPacket* p = new TCPPacket(kFrame, 0xE3);
            p->file().write(payload.data(), kFrame);
            sender->send(p);
        }
        expected += int64_t(kFrame) * kFramesPerRound;
        for (int pass = 0; pass < 100000 && sink->got < expected; pass++) pool.run(1);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrame * kFramesPerRound);
}
BENCHMARK(BM_PoolTwoConnections)->Unit(benchmark::kMillisecond);

// What making a full data frame costs before it reaches a socket: the buffer, the header
// and one pass of the payload into it.
void BM_MakeFilledFrame(benchmark::State& state) {
    std::vector<char> payload(kFrame, 'x');
    for (auto _ : state) {
        TCPPacket p(kFrame, 0xE3);
        p.file().write(payload.data(), kFrame);
        benchmark::DoNotOptimize(p.bytes());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrame);
}
BENCHMARK(BM_MakeFilledFrame);

void BM_BlockingSocketPair(benchmark::State& state) {
    int a, b;
    if (!loopbackPair(&a, &b)) {
        state.SkipWithError("no loopback pair");
        return;
    }
    const size_t round = size_t(kFrame) * kFramesPerRound;
    std::vector<char> out(round, 'x'), in(round);
    for (auto _ : state) {
        std::thread writer([&] {
            size_t done = 0;
            while (done < round) {
                ssize_t n = write(a, out.data() + done, round - done);
                if (n <= 0) break;
                done += (size_t)n;
            }
        });
        size_t done = 0;
        while (done < round) {
            ssize_t n = read(b, in.data() + done, round - done);
            if (n <= 0) break;
            done += (size_t)n;
        }
        writer.join();
    }
    close(a);
    close(b);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(round));
}
BENCHMARK(BM_BlockingSocketPair)->Unit(benchmark::kMillisecond);

// 2,000 idle connections: the far ends are plain descriptors that never write.
void BM_IdlePool2000(benchmark::State& state) {
    const int want = 2000;
    rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    STSocketPool pool(benchProtocol(), nullptr);
    std::vector<int> farEnds;
    size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < want; i++) {
        int a, b;
        if (!loopbackPair(&a, &b)) break;
        farEnds.push_back(a);
        pool.add(new TCPConnection(wrapDescriptor(b), 0xE3));
    }
    pool.processPending();
    size_t heapAfter = mallinfo2().uordblks;
    int held = pool.activeCount();
    for (auto _ : state) pool.run(150);
    state.counters["connections"] = held;
    state.counters["heap_bytes_each"] = held ? double(heapAfter - heapBefore) / held : 0.0;
    for (int fd : farEnds) close(fd);
}
BENCHMARK(BM_IdlePool2000)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();

// Looks at its readiness and leaves the byte waiting, so it is ready in every pass.
struct Looker : ClockedConnection {
    explicit Looker(i4_socket* s) { sock = s; }
    bool doTask() override { return sock->check_set(pool->socketSet(), I4_READY_READ) != 0; }
};

// 2,000 connections taken in, every one of them ready in each pass, then all removed: what the
// pool's own bookkeeping costs when it holds many (finding each one's readiness, taking them in
// and out).
void BM_ReadyPool2000(benchmark::State& state) {
    const int want = 2000;
    rlimit rl;
    if (getrlimit(RLIMIT_NOFILE, &rl) == 0 && rl.rlim_cur < rl.rlim_max) {
        rl.rlim_cur = rl.rlim_max;
        setrlimit(RLIMIT_NOFILE, &rl);
    }
    std::vector<int> farEnds;
    std::vector<int> nearEnds;
    for (int i = 0; i < want; i++) {
        int a, b;
        if (!loopbackPair(&a, &b)) break;
        if (write(a, "x", 1) != 1) break;
        farEnds.push_back(a);
        nearEnds.push_back(b);
    }
    for (auto _ : state) {
        STSocketPool pool(benchProtocol(), nullptr);
        std::vector<Looker*> lookers;
        for (int fd : nearEnds) {
            // The pool deletes the socket with the connection: it gets a copy of the descriptor.
            lookers.push_back(new Looker(wrapDescriptor(dup(fd))));
            pool.add(lookers.back());
        }
        pool.processPending();
        for (int pass = 0; pass < 10; pass++) pool.run(1);
        for (Looker* l : lookers) pool.remove(l);
        pool.processPending();
    }
    state.counters["connections"] = double(nearEnds.size());
    for (int fd : farEnds) close(fd);
    for (int fd : nearEnds) close(fd);
}
BENCHMARK(BM_ReadyPool2000)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
