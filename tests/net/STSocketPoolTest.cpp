#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "core/ProtocolHolder.h"
#include "core/TaskThread.h"
#include "core/XMLStringTable.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_time.h"
#include "net/STSocketPool.h"
#include "net/TCPConnection.h"
#include "util/XMLParser.h"

TEST(STSocketPool, BudgetFromLimitAndElapsedTime) {
    struct Case {
        const char* name;
        double limit;
        std::vector<int64_t> passes;  // ms of each ready pass
        std::vector<int32_t> budgets;
    };
    const int32_t U = Connection::UNLIMITED_BUDGET;
    const Case cases[] = {
        {"no limit", 0, {150}, {U}},
        {"10 KB/s over 150 ms", 10, {150}, {1500}},
        {"whole limits count whole", 2.9, {100, 100}, {200, 200}},
        {"half a KB/s still lets bytes out", 0.5, {150, 1, 1, 1}, {75, 0, 1, 0}},
        {"a tiny limit adds up over passes", 0.3, {1, 1, 1, 1, 1}, {0, 0, 0, 1, 0}},
        {"nothing elapsed", 10, {0}, {0}},
        {"clamped, never wrapped", 1e9, {1000}, {U}},
        {"clamped after a long idle time", 100000, {int64_t(1) << 40}, {U}},
        {"a negative limit is no limit", -3, {100}, {U}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double carry = 0;
        for (size_t i = 0; i < c.passes.size(); i++)
            EXPECT_EQ(c.budgets[i], STSocketPool::budgetFor(c.limit, c.passes[i], &carry)) << i;
    }
}

TEST(STSocketPool, ReadyPassBudgetCoversTheIdlePassesBeforeIt) {
    BudgetScope restore(Connection::UNLIMITED_BUDGET, Connection::UNLIMITED_BUDGET);
    BandwidthSettings bw;
    bw.setUploadLimit(10);
    bw.setDownloadLimit(2.9);
    ProbeRecord rec;
    STSocketPool pool(testProtocol(), &bw);
    SockPair pair;
    pool.add(new Probe(rec, pair.take()));
    pool.processPending();
    // Nothing to read: the pass only waits and ticks.
    EXPECT_FALSE(pool.run(100));
    EXPECT_EQ(0, rec.tasks);
    pair.peerWrite("x");
    pool.run(50);
    EXPECT_EQ(1, rec.tasks);
    EXPECT_EQ(1500, rec.sendBudgetSeen);
    EXPECT_EQ(300, rec.receiveBudgetSeen);
    // The allowance was used up by that pass: the next one starts from its own time.
    pool.run(20);
    EXPECT_EQ(200, rec.sendBudgetSeen);
}

// The core task thread's elapsed time feeds the budgets: setting the date an hour ahead must
// neither hand out an hour's allowance nor stall the pool.
TEST(STSocketPool, BudgetsStaySaneWhenTheDateJumps) {
    BudgetScope restore(Connection::UNLIMITED_BUDGET, Connection::UNLIMITED_BUDGET);
    i4_test_clock clock;
    BandwidthSettings bw;
    bw.setUploadLimit(10);
    bw.setDownloadLimit(10);
    ProbeRecord rec;
    STSocketPool pool(testProtocol(), &bw);
    TaskThread thread;
    thread.addTask(&pool);
    thread.setWaiter(&pool);
    SockPair pair;
    pool.add(new Probe(rec, pair.take()));
    thread.runPass();     // takes the probe in
    pair.peerWrite("x");  // stays readable: every pass is a ready one

    clock.step_ms(150);
    thread.runPass();
    EXPECT_EQ(1500, rec.sendBudgetSeen);
    EXPECT_EQ(1500, rec.receiveBudgetSeen);
    clock.step_wall_ms(3600 * 1000);
    clock.step_ms(50);
    thread.runPass();
    EXPECT_EQ(500, rec.sendBudgetSeen);
    EXPECT_EQ(500, rec.receiveBudgetSeen);
    clock.step_wall_ms(-2 * 3600 * 1000);
    clock.step_ms(20);
    thread.runPass();
    EXPECT_EQ(200, rec.receiveBudgetSeen);
    EXPECT_EQ(3, rec.tasks);
    thread.setWaiter(nullptr);
}

// A budget spent by a limited pass keeps its direction out of the readiness wait for a few
// milliseconds: the socket that still has bytes would otherwise end every wait at once and
// the thread would spin, moving nothing.
TEST(STSocketPool, ASpentBudgetHoldsItsDirectionBackForAMoment) {
    BudgetScope restore(Connection::UNLIMITED_BUDGET, Connection::UNLIMITED_BUDGET);
    i4_test_clock clock;
    BandwidthSettings bw;
    bw.setDownloadLimit(1);
    STSocketPool pool(testProtocol(), &bw);
    SockPair pair;
    TCPConnection* reader = new TCPConnection(pair.take(), 0xE3);
    pool.add(reader);
    pool.processPending();
    pair.peerWrite(frame(1, std::string(5000, 'p')));

    EXPECT_EQ(-1, pool.nextDueMs());
    clock.step_ms(5);
    pool.waitForWork(1000);
    EXPECT_TRUE(pool.run(5));  // 5 bytes of payload allowed, and taken
    EXPECT_EQ(0, Connection::receiveBudget);
    EXPECT_EQ(STSocketPool::HOLD_MS, pool.nextDueMs());

    // Still readable, but not waited for while held.
    int64_t before = i4_now_ms();
    pool.waitForWork(0);
    EXPECT_FALSE(pool.run(0));
    EXPECT_EQ(before, i4_now_ms());
    clock.step_ms(STSocketPool::HOLD_MS);
    EXPECT_EQ(-1, pool.nextDueMs());
    pool.waitForWork(1000);
    EXPECT_TRUE(pool.run(STSocketPool::HOLD_MS));
    EXPECT_EQ(0, Connection::receiveBudget);
}

TEST(STSocketPool, ConnectionsTakeTurnsAtTheHead) {
    ProbeRecord recs[3];
    STSocketPool pool(testProtocol(), nullptr);
    std::vector<int> order;
    SockPair pairs[3];
    for (int i = 0; i < 3; i++) {
        recs[i].order = &order;
        recs[i].id = i;
        pool.add(new Probe(recs[i], pairs[i].take()));
    }
    pool.processPending();
    pairs[0].peerWrite("x");  // stays readable: every pass is a ready one
    for (int i = 0; i < 3; i++) pool.run(10);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 1, 2, 0, 2, 0, 1}), order);
}

TEST(STSocketPool, TotalsKeepWhatRemovedConnectionsMoved) {
    ProbeRecord ra, rb;
    STSocketPool pool(testProtocol(), nullptr);
    SockPair a, b;
    Probe* pa = new Probe(ra, a.take());
    Probe* pb = new Probe(rb, b.take());
    pool.add(pa);
    pool.add(pb);
    pool.processPending();
    pa->moved(3000, 1000);
    pb->moved(500, 700);
    a.peerWrite("x");
    pool.run(1001);  // closes a sample period for both
    EXPECT_EQ(3500, pool.totalSent());
    EXPECT_EQ(1700, pool.totalReceived());
    EXPECT_NEAR((3000.0 + 500.0) / 1001 / 8, pool.totalSendRate(), 1e-6);
    pool.remove(pa);
    pool.run(10);  // pa is gone at the end of this pass
    EXPECT_TRUE(ra.deleted);
    b.peerWrite("y");
    pool.run(10);
    EXPECT_EQ(3500, pool.totalSent());
    EXPECT_EQ(1700, pool.totalReceived());
    EXPECT_NEAR(500.0 / 1001 / 8, pool.totalSendRate(), 1e-6);
}

TEST(STSocketPool, LearnsTopSpeeds) {
    struct Case {
        const char* name;
        double rate;
        double estimate;
        double learned;
    };
    const Case cases[] = {
        {"no traffic changes nothing", 0, 5, 5},
        {"a faster line is believed at once", 50, 5, 50},
        // One entry of (4 + 3 * 5) / 4 among seven of 5.
        {"a slower rate pulls the estimate down gently", 4, 5, (7 * 5 + 4.75) / 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BandwidthSettings bw;
        bw.setMaxDownSpeed(c.estimate);
        bw.setMaxUpSpeed(c.estimate);
        STSocketPool pool(testProtocol(), &bw);
        bw.setDownloadRate(c.rate);
        bw.setUploadRate(c.rate);
        pool.updateRateEstimates();
        EXPECT_NEAR(c.learned, bw.maxDownSpeed(), 1e-5);
        EXPECT_NEAR(c.learned, bw.maxUpSpeed(), 1e-5);
    }
}

TEST(STSocketPool, LearningWaitsForFourSecondsOfReadyTime) {
    BandwidthSettings bw;
    ProbeRecord rec;
    STSocketPool pool(testProtocol(), &bw);
    SockPair pair;
    pool.add(new Probe(rec, pair.take()));
    pool.processPending();
    pair.peerWrite("x");
    bw.setDownloadRate(40);
    pool.run(4000);
    EXPECT_DOUBLE_EQ(5.0, bw.maxDownSpeed());
    pool.run(1);
    EXPECT_DOUBLE_EQ(40.0, bw.maxDownSpeed());
}

namespace {

// A set whose wait always fails, as poll does when it is handed too many descriptors.
struct FailingSet : i4_socket_set {
    int wait(int32_t) override { return -1; }
};

struct FailingProtocol : i4_tcpip_protocol {
    FailingProtocol() : i4_tcpip_protocol(nullptr) {}
    i4_socket_set* create_socket_set() override { return new FailingSet; }
};

}  // namespace

TEST(STSocketPool, FailedWaitIsReportedAndServesNothing) {
    struct Case {
        const char* xml;
        const char* line;
    };
    const Case cases[] = {
        {nullptr, "ERROR(0) problem with socket set. Try reducing max connections"},
        {"<ui><STRINGS><socketSetProb label=\"too many sockets\"/></STRINGS></ui>",
         "ERROR(0) too many sockets"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        XMLParser parser;
        theXMLStringTable.load(c.xml ? parser.parse(c.xml) : nullptr);
        CaptureUI ui;
        FailingProtocol protocol;
        ProbeRecord rec;
        STSocketPool pool(&protocol, nullptr);
        Probe* probe = new Probe(rec, nullptr);
        pool.add(probe);
        pool.processPending();
        probe->moved(0, 5000);
        EXPECT_FALSE(pool.run(2000));
        EXPECT_EQ(0, rec.tasks);
        EXPECT_EQ(0, probe->sampleIndex());  // not even ticked
        EXPECT_EQ((std::vector<std::string>{c.line}), ui.lines);
        theXMLStringTable.load(nullptr);
    }
}

TEST(STSocketPool, MadeOverTheClientsProtocol) {
    theProtocolHolder.setProxy(nullptr);
    STSocketPool pool(nullptr);
    EXPECT_NE(nullptr, pool.socketSet());
}
