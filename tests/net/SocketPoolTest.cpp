#include <gtest/gtest.h>
#include <thread>

#include "NetTestSupport.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_thread.h"
#include "i4min/threads/linux/i4_time.h"
#include "net/SocketPool.h"

TEST(SocketPool, NeedsAProtocol) {
    EXPECT_THROW({ SocketPool pool(nullptr); }, i4_err);
}

TEST(SocketPool, PendingAdditionsAndRemovals) {
    // What the owner does before one pass, and what the pool holds after it.
    enum Op { ADD, REMOVE };
    struct Case {
        const char* name;
        bool socket;
        std::vector<Op> before;
        int countBefore;
        int attached;
        bool deleted;
        int activeAfter;
    };
    const Case cases[] = {
        {"added once", true, {ADD}, 1, 1, false, 1},
        {"added twice", true, {ADD, ADD}, 1, 1, false, 1},
        {"added and removed in one pass", true, {ADD, REMOVE}, 1, 1, true, 0},
        {"removed twice", true, {ADD, REMOVE, REMOVE}, 1, 1, true, 0},
        {"removed without ever being added", true, {REMOVE}, 0, 0, true, 0},
        {"no socket: never attached, then removed", false, {ADD, REMOVE}, 1, 0, true, 0},
        {"no socket, only removed", false, {REMOVE}, 0, 0, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProbeRecord rec;
        SocketPool pool(testProtocol());
        SockPair pair;
        Probe* probe = new Probe(rec, c.socket ? pair.take() : nullptr);
        for (Op op : c.before) op == ADD ? pool.add(probe) : pool.remove(probe);
        EXPECT_EQ(c.countBefore, pool.connectionCount());
        pool.processPending();
        EXPECT_EQ(c.attached, rec.attached);
        EXPECT_EQ(c.deleted, rec.deleted);
        EXPECT_EQ(c.activeAfter, pool.activeCount());
        EXPECT_EQ(c.activeAfter, pool.connectionCount());
    }
}

TEST(SocketPool, AddingAnActiveConnectionAgainChangesNothing) {
    ProbeRecord rec;
    SocketPool pool(testProtocol());
    SockPair pair;
    Probe* probe = new Probe(rec, pair.take());
    pool.add(probe);
    pool.processPending();
    pool.add(probe);
    EXPECT_EQ(2, pool.connectionCount());
    pool.processPending();
    EXPECT_EQ(1, rec.attached);
    EXPECT_EQ(1, pool.activeCount());
    EXPECT_EQ(1, pool.connectionCount());
}

TEST(SocketPool, AttachOnlyOnceAndOnlyWithASocket) {
    ProbeRecord rec;
    ProbeRecord rec2;
    SocketPool pool(testProtocol());
    SockPair pair;
    Probe withSocket(rec, pair.take());
    EXPECT_EQ(1, withSocket.attach(&pool));
    EXPECT_EQ(0, withSocket.attach(&pool));
    EXPECT_EQ(&pool, withSocket.getPool());
    Probe without(rec2, nullptr);
    EXPECT_EQ(0, without.attach(&pool));
    EXPECT_FALSE(without.isAttached());
    EXPECT_EQ(nullptr, without.getPool());
    // Detach by hand so the set holds nothing of a deleted socket.
    withSocket.getSocket()->remove_from_set(pool.socketSet());
}

TEST(SocketPool, PassServesReadyConnectionsAndDeletesTheRestAtTheEnd) {
    CaptureUI ui;
    SockPair a, b;
    ProbeRecord ra, rb;
    {
        SocketPool pool(testProtocol());
        pool.add(new Probe(ra, a.take()));
        pool.add(new Probe(rb, b.take()));
        EXPECT_FALSE(pool.run(0));  // takes them in
        a.peerWrite("x");
        pool.run(10);
        EXPECT_EQ(1, ra.tasks);
        EXPECT_EQ(1, rb.tasks);  // every connection gets the ready pass
        EXPECT_EQ(Connection::UNLIMITED_BUDGET, ra.sendBudgetSeen);
        pool.dump();
        EXPECT_EQ((std::vector<std::string>{"(1) ???", "(2) ???"}), ui.lines);
    }
    // The pool's end deletes what it still holds.
    EXPECT_TRUE(ra.deleted);
    EXPECT_TRUE(rb.deleted);
}

// The core task thread sleeps in the pool's wait: a connection handed over from another thread
// ends that sleep, and the pass that follows serves what the wait found without waiting again.
TEST(SocketPool, AConnectionHandedOverWakesTheWait) {
    ProbeRecord rec;
    SocketPool pool(testProtocol());
    SockPair pair;
    Probe* probe = new Probe(rec, pair.take());
    int64_t start = i4_now_ms();
    std::thread handOver([&] {
        i4_sleep_ms(50);
        pool.add(probe);
    });
    pool.waitForWork(60000);
    handOver.join();
    EXPECT_LT(i4_now_ms() - start, 30000);
    pool.run(0);
    EXPECT_EQ(1, rec.attached);

    // Readable now: the thread's wait sees it, and the pass serves it.
    pair.peerWrite("x");
    pool.waitForWork(60000);
    EXPECT_FALSE(pool.run(0));
    EXPECT_EQ(1, rec.tasks);
}

// What the base pass catches is said on the debug channel instead of vanishing.
TEST(SocketPool, AnErrorInAPassIsReportedOnTheDebugChannel) {
    struct Throwing : Probe {
        using Probe::Probe;
        bool doTask() override { throw i4_err("boom"); }
    };
    CaptureUI ui;
    ProbeRecord rec;
    SocketPool pool(testProtocol());
    SockPair pair;
    pool.add(new Throwing(rec, pair.take()));
    pool.processPending();
    pair.peerWrite("x");
    EXPECT_FALSE(pool.run(0));
    EXPECT_EQ("*** Exception in SocketPool::run(): boom\n", ui.debugText);
}
