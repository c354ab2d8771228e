// layer: net
// The core task loop as the client runs it: a task thread that sleeps in the socket pool's
// readiness wait, with the message queue beside the pool. How long a message posted to an idle
// loop waits before its handler runs, what an idle pass costs in CPU, and how fast two framed
// connections move data when the loop, not a benchmark loop, drives the pool.
#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include "bench/bench_sockets.h"
#include "core/MessageQ.h"
#include "core/TaskThread.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"
#include "net/STSocketPool.h"
#include "net/TCPConnection.h"

namespace {

int64_t nowNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// The core task thread of the client: the pool first, the queue after it, sleeping in the
// pool's wait and woken by posts.
struct Loop {
    Loop() : pool(benchProtocol(), nullptr) {
        thread.addTask(&pool);
        thread.addTask(&queue);
        thread.setWaiter(&pool);
        queue.wakeOnPost(&thread);
    }
    ~Loop() {
        thread.stop();
        thread.setWaiter(nullptr);
        queue.wakeOnPost(nullptr);
    }
    STSocketPool pool;
    MessageQ queue;
    TaskThread thread;
};

// Notes when its message was handled and lets the poster know.
struct Stamp : MessageHandler {
    void handleMessage(Message*) override {
        std::lock_guard<std::mutex> hold(lock);
        handledNs = nowNs();
        done.notify_all();
    }
    std::mutex lock;
    std::condition_variable done;
    int64_t handledNs = 0;
};

// From a post to its handler, the loop having gone idle before each post.
void BM_MessageLatencyOnAnIdleLoop(benchmark::State& state) {
    Loop loop;
    Stamp stamp;
    loop.queue.setHandler(&stamp, MSG_NOTHING);
    loop.thread.start();
    for (auto _ : state) {
        i4_sleep_ms(20);  // longer than a busy pass: the thread sleeps in poll again
        std::unique_lock<std::mutex> hold(stamp.lock);
        stamp.handledNs = 0;
        int64_t posted = nowNs();
        loop.queue.post(MSG_NOTHING);
        stamp.done.wait(hold, [&] { return stamp.handledNs != 0; });
        state.SetIterationTime(double(stamp.handledNs - posted) / 1e9);
    }
    loop.queue.setHandler(nullptr, MSG_NOTHING);
}
BENCHMARK(BM_MessageLatencyOnAnIdleLoop)
    ->UseManualTime()
    ->Iterations(200)
    ->Unit(benchmark::kMicrosecond);

// Counts the passes of its thread and what they cost the thread in CPU.
struct PassMeter : TimeSliceTask {
    bool run(int) override {
        timespec ts;
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
        cpuNs = int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
        passes++;
        return false;
    }
    std::atomic<int64_t> cpuNs{0};
    std::atomic<int64_t> passes{0};
};

// An idle loop for a second: passes made and the CPU each cost.
void BM_IdleLoopCpu(benchmark::State& state) {
    for (auto _ : state) {
        Loop loop;
        PassMeter meter;
        loop.thread.addTask(&meter);
        loop.thread.start();
        i4_sleep_ms(300);  // past the start
        int64_t cpu0 = meter.cpuNs, passes0 = meter.passes;
        i4_sleep_ms(1000);
        int64_t cpu = meter.cpuNs - cpu0, passes = meter.passes - passes0;
        state.counters["passes_per_s"] = double(passes);
        state.counters["cpu_us_per_pass"] = passes ? double(cpu) / 1000.0 / passes : 0.0;
        state.counters["cpu_percent"] = double(cpu) / 1e9 * 100.0;
        loop.thread.stop();
        loop.thread.removeTask(&meter);
    }
}
BENCHMARK(BM_IdleLoopCpu)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// Counts what arrives, on the core task thread, and tells the bench once a round is in.
struct Sink : TCPConnection {
    explicit Sink(i4_socket* s) : TCPConnection(s, 0xE3) {}
    bool handlePacket(uint8_t, i4_file* f) override {
        std::lock_guard<std::mutex> hold(lock);
        got += f->size();
        if (got >= expected) arrived.notify_all();
        return true;
    }
    std::mutex lock;
    std::condition_variable arrived;
    int64_t got = 0;
    int64_t expected = 0;
};

const int kFrame = 64 * 1024;
const int kFramesPerRound = 16;

// Two connections of one pool, sender and receiver, driven by the running loop.
void BM_LoopTwoConnections(benchmark::State& state) {
    int a, b;
    if (!loopbackPair(&a, &b)) {
        state.SkipWithError("no loopback pair");
        return;
    }
    Loop loop;
    TCPConnection* sender = new TCPConnection(wrapDescriptor(a), 0xE3);
    Sink* sink = new Sink(wrapDescriptor(b));
    loop.pool.add(sender);
    loop.pool.add(sink);
    loop.thread.start();
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> hold(sink->lock);
            sink->expected += int64_t(kFrame) * kFramesPerRound;
        }
        for (int i = 0; i < kFramesPerRound; i++) {
            TCPPacket* p = new TCPPacket(kFrame, 0xE3);
            p->file().write_8(1);
            sender->send(p);
        }
        // Packets queued from another thread wait for the loop's next pass.
        loop.pool.wake();
        std::unique_lock<std::mutex> hold(sink->lock);
        sink->arrived.wait(hold, [&] { return sink->got >= sink->expected; });
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kFrame * kFramesPerRound);
    loop.thread.stop();
}
BENCHMARK(BM_LoopTwoConnections)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
