#include <atomic>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <vector>

#include "NetTestSupport.h"
#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "i4min/net_test_support.h"
#include "net/Connector.h"
#include "net/IpPort.h"
#include "net/SocketPool.h"
#include "net/TCPConnection.h"
#include "support/Waiting.h"

namespace {

const uint32_t LOOPBACK = 0x0100007Fu;

// What became of one attempt, kept outside the connection, which may die on its thread.
struct Outcome {
    std::atomic<int> failed{0};
    std::atomic<int> connected{0};
    std::atomic<bool> deleted{false};
    std::atomic<int64_t> endedAt{0};
};

// Stands for a peer connection: a failed connect posts message 35 with its address.
struct PeerLike : TCPConnection {
    PeerLike(Outcome& o, int port, MessageQ* q = nullptr)
        : TCPConnection(LOOPBACK, port, 0xE3), outcome(o), queue(q) {}
    ~PeerLike() override { outcome.deleted = true; }
    void onConnectFailed() override {
        outcome.endedAt = nettest::now_ms();
        outcome.failed++;
        if (queue)
            queue->post(MSG_CONNECT_FAILED, std::make_unique<IpPort>(getIp(), (uint32_t)getPort()));
    }
    void onConnected() override { outcome.connected++; }
    Outcome& outcome;
    MessageQ* queue;
};

// Keeps the addresses of message 35.
struct FailedAddresses : MessageHandler {
    void handleMessage(Message* m) override {
        IpPort* where = m->get<IpPort>();
        std::lock_guard<std::mutex> g(lock);
        if (where) seen.push_back(*where);
    }
    std::vector<IpPort> taken() {
        std::lock_guard<std::mutex> g(lock);
        return seen;
    }
    std::mutex lock;
    std::vector<IpPort> seen;
};

// A pool whose additions can be held up, so a test sees a connect thread standing at the
// hand-over.
struct HoldablePool : SocketPool {
    explicit HoldablePool(i4_protocol* protocol) : SocketPool(protocol) {}
    void holdAdditions() { addLock.lock(); }
    void releaseAdditions() { addLock.unlock(); }
};

struct ConnectorTest : ::testing::Test {
    ConnectorTest() : pool(testProtocol()) { theProtocolHolder.setProxy(nullptr); }
    // Outlives the pool, which deletes the connections still held at the end.
    Outcome& outcome() { return outcomes.emplace_back(); }
    std::deque<Outcome> outcomes;
    CaptureUI ui;
    HoldablePool pool;  // outlives the connector, whose threads hand connections to it
    std::unique_ptr<Connector> connector{new Connector(&pool)};
};

}  // namespace

TEST_F(ConnectorTest, SecondAttemptToTheSameAddressIsRefusedWhileOneIsPending) {
    nettest::SilentListener silent, other;
    ASSERT_TRUE(silent.is_full() && other.is_full()) << "could not fill the accept queues";
    connector->setConnectLimit(300);

    Outcome& first = outcome();
    Outcome& second = outcome();
    Outcome& third = outcome();
    EXPECT_EQ(1, connector->connect(new PeerLike(first, silent.port())));
    PeerLike* duplicate = new PeerLike(second, silent.port());
    EXPECT_EQ(0, connector->connect(duplicate));
    // Refused untouched and without a notice: the caller deletes it.
    EXPECT_FALSE(second.deleted);
    EXPECT_EQ(0, second.failed);
    delete duplicate;
    // Same ip, another port: a separate attempt.
    EXPECT_EQ(1, connector->connect(new PeerLike(third, other.port())));
    EXPECT_EQ(2, connector->pendingCount());

    ASSERT_TRUE(waitUntil([&] { return first.deleted && third.deleted; }));
    EXPECT_EQ(1, first.failed);
    EXPECT_EQ(1, third.failed);
    EXPECT_EQ(0, connector->pendingCount());

    // Once the attempt is over the address may be tried again.
    Outcome& again = outcome();
    EXPECT_EQ(1, connector->connect(new PeerLike(again, silent.port())));
    connector.reset();  // waits for the attempt
    EXPECT_TRUE(again.deleted);
}

TEST_F(ConnectorTest, NullConnectionIsAcceptedAndIgnored) {
    EXPECT_EQ(1, connector->connect(nullptr));
    EXPECT_EQ(0, connector->pendingCount());
}

TEST_F(ConnectorTest, RefusedPortFailsAtOnceAndPostsItsAddress) {
    MessageQ queue;
    FailedAddresses failures;
    queue.setHandler(&failures, MSG_CONNECT_FAILED);
    int closed = nettest::free_port();

    Outcome& o = outcome();
    // Past the wait's own deadline: an attempt that waited for its limit instead of taking
    // the refusal fails the wait.
    connector->setConnectLimit(EVENT_WAIT_MS * 2);
    ASSERT_EQ(1, connector->connect(new PeerLike(o, closed, &queue)));
    ASSERT_TRUE(waitUntil([&] { return o.deleted.load(); })) << "the refusal was not taken";
    EXPECT_EQ(1, o.failed);
    EXPECT_EQ(0, pool.connectionCount());

    EXPECT_TRUE(queue.run(0));
    std::vector<IpPort> seen = failures.taken();
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(LOOPBACK, seen[0].ip);
    EXPECT_EQ((uint32_t)closed, seen[0].port);
}

TEST_F(ConnectorTest, UnansweredAttemptsGiveUpSideBySideAndDelayNoOther) {
    const int kSilent = 4;
    // Long enough that the live connect is handed over before any silent one gives up, and
    // the margins below hold, on a loaded machine under a sanitizer; attempts one after
    // another (kSilent times the limit) stay far outside them.
    const int32_t kLimit = 4000;
    std::vector<std::unique_ptr<nettest::SilentListener>> silent;
    for (int i = 0; i < kSilent; i++) {
        silent.emplace_back(new nettest::SilentListener);
        ASSERT_TRUE(silent.back()->is_full()) << "could not fill an accept queue";
    }
    int livePort = 0;
    int live = nettest::listen_loopback(4, &livePort);
    ASSERT_GE(live, 0);
    connector->setConnectLimit(kLimit);

    std::vector<Outcome*> slow;
    for (int i = 0; i < kSilent; i++) slow.push_back(&outcome());
    Outcome& fast = outcome();
    int64_t start = nettest::now_ms();
    for (int i = 0; i < kSilent; i++)
        ASSERT_EQ(1, connector->connect(new PeerLike(*slow[i], silent[i]->port())));
    ASSERT_EQ(1, connector->connect(new PeerLike(fast, livePort)));

    // The live one is handed to the pool while the others still wait.
    ASSERT_TRUE(waitUntil([&] { return pool.connectionCount() == 1; }));
    for (Outcome* o : slow) EXPECT_EQ(0, o->failed);
    pool.processPending();
    EXPECT_EQ(1, fast.connected);
    EXPECT_EQ(0, fast.failed);

    ASSERT_TRUE(waitUntil([&] { return connector->pendingCount() == 0; }));
    for (int i = 0; i < kSilent; i++) {
        ASSERT_TRUE(waitUntil([&] { return slow[i]->deleted.load(); })) << i;
        EXPECT_EQ(1, slow[i]->failed) << i;
        int64_t took = slow[i]->endedAt - start;
        // Each waits its whole limit; one after another, the live one above would have
        // found them all failed.
        EXPECT_GE(took, kLimit - 10) << i;
    }
    close(live);
}

TEST_F(ConnectorTest, ConnectionLeavesThePendingListBeforeThePoolHasIt) {
    int livePort = 0;
    int live = nettest::listen_loopback(4, &livePort);
    ASSERT_GE(live, 0);
    Outcome& o = outcome();
    PeerLike* c = new PeerLike(o, livePort);
    // With the hand-over held up, the connect thread stands at the pool's door: by then the
    // connection must be off the pending list already.
    pool.holdAdditions();
    ASSERT_EQ(1, connector->connect(c));
    bool leftFirst = waitUntil([&] { return connector->pendingCount() == 0; });
    int inPool = pool.connectionCount();
    pool.releaseAdditions();
    EXPECT_TRUE(leftFirst) << "still pending while it is handed to the pool";
    EXPECT_EQ(0, inPool);
    ASSERT_TRUE(waitUntil([&] { return pool.connectionCount() == 1; }));
    EXPECT_EQ(0, connector->pendingCount());
    pool.processPending();
    EXPECT_TRUE(c->isConnected());
    EXPECT_EQ(1, o.connected);

    // The pool may drop it at once; a new attempt to the address is accepted meanwhile.
    c->closeNow();
    pool.run(10);
    EXPECT_TRUE(o.deleted);
    Outcome& next = outcome();
    EXPECT_EQ(1, connector->connect(new PeerLike(next, livePort)));
    ASSERT_TRUE(waitUntil([&] { return pool.connectionCount() == 1; }));
    close(live);
}

TEST_F(ConnectorTest, DirectConnectHandsOverOrReportsOnce) {
    int livePort = 0;
    int live = nettest::listen_loopback(4, &livePort);
    ASSERT_GE(live, 0);
    int closed = nettest::free_port();
    struct Case {
        int port;
        bool connects;
    } cases[] = {{livePort, true}, {closed, false}};
    for (const Case& c : cases) {
        Outcome& o = outcome();
        PeerLike* p = new PeerLike(o, c.port);
        int before = pool.connectionCount();
        bool ok = p->connect(&pool, 2000);
        EXPECT_EQ(c.connects, ok) << c.port;
        EXPECT_EQ(c.connects ? 0 : 1, o.failed) << c.port;
        EXPECT_EQ(before + (c.connects ? 1 : 0), pool.connectionCount()) << c.port;
        if (ok) {
            EXPECT_TRUE(p->isConnected());
            // Already connected: nothing more happens.
            EXPECT_TRUE(p->openSocket(2000));
        } else {
            EXPECT_FALSE(p->isConnected());
            delete p;
        }
    }
    pool.processPending();
    close(live);
}
