#include <gtest/gtest.h>

#include "../PeerTestSupport.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "i4min/net_test_support.h"
#include "net/IpPort.h"
#include "support/Waiting.h"
#include "transfer/peer/PeerEventHandler.h"

using namespace peertest;

namespace {

const uint32_t HIGH_ID = 0x0A01A8C0;  // 192.168.1.10
const uint32_t PEER_IP = 0x0201A8C0;  // 192.168.1.2

// Answers callback requests as told and counts them.
struct CallbackGateway : NetworkGateway {
    void start() override {}
    void stop() override {}
    DownloadSources* newDownloadSources() override { return nullptr; }
    int firewallState() override { return 0; }
    bool requestCallback(UserMeta*) override {
        asked++;
        return accept;
    }
    bool accept = false;
    int asked = 0;
};

struct GatewayScope {
    explicit GatewayScope(NetworkGateway* g) : saved(theNetworkGateway) { theNetworkGateway = g; }
    ~GatewayScope() { theNetworkGateway = saved; }
    NetworkGateway* saved;
};

// A peer listed in the pool without a socket; deleting it unlists it.
Peer* listedPeer(uint32_t ip, uint16_t port, bool stayOpen, const char* name) {
    Peer* p = new Peer(ip, port, stayOpen);
    p->getUser()->setName(name);
    theClientPool.addPeer(p);
    return p;
}

UserMeta user(uint32_t ip, uint16_t port, uint32_t serverIp = 0) {
    UserMeta u;
    u.ip = ip;
    u.port = port;
    u.serverIp = serverIp;
    return u;
}

struct ClientPoolTest : ::testing::Test {
    ClientPoolTest()
        : pool(testProtocol(), nullptr), scope(&pool, nullptr, &network), gatewayScope(&gateway) {
        network.fixed = 10;
        theCoreOptions.maxCon = 45;
        theCoreOptions.setClientId(HIGH_ID);
        theTransferOptions.setDoorPort(4662);
        theClientPool.setStarter([this](Peer* p) {
            started.push_back({p->getIp(), (uint32_t)p->getPort()});
            stayOpen.push_back(p->isStayOpen());
            delete p;  // stands for the connect thread, which owns it from here
            return 1;
        });
    }
    ~ClientPoolTest() override {
        theClientPool.setStarter(nullptr);
        for (Peer* p : made) delete p;
    }
    Peer* listed(uint32_t ip, uint16_t port, bool stayOpen, const char* name) {
        made.push_back(listedPeer(ip, port, stayOpen, name));
        return made.back();
    }

    STSocketPool pool;
    CountingNetwork network;
    CoreScope scope;
    CallbackGateway gateway;
    GatewayScope gatewayScope;
    CaptureUI ui;
    std::vector<IpPort> started;
    std::vector<bool> stayOpen;
    std::vector<Peer*> made;
};

}  // namespace

TEST_F(ClientPoolTest, ConnectDecisions) {
    Peer* alice = listed(0x0301A8C0, 4662, true, "alice");
    struct Case {
        const char* what;
        uint32_t ownId;
        int connections;
        UserMeta target;
        int result;
        Peer* out;
        int started;    // outgoing peers handed to the connector
        int callbacks;  // callback requests to the server side
        bool callbackAccepted;
    };
    Case cases[] = {
        {"the client itself (high id): own address and door port", HIGH_ID, 10, user(HIGH_ID, 4662),
         3, nullptr, 0, 0, false},
        {"own address on another port is someone else", HIGH_ID, 10, user(HIGH_ID, 4663), 1,
         nullptr, 1, 0, false},
        {"the client itself (low id): own id behind the own server", 0x123, 10,
         user(0x123, 1, 0x0909090A), 3, nullptr, 0, 0, false},
        {"an existing connection is reused, room or not", HIGH_ID, 500, user(0x0301A8C0, 4662), 0,
         alice, 0, 0, false},
        {"exactly maxCon connections is still room", HIGH_ID, 45, user(PEER_IP, 4662), 1, nullptr,
         1, 0, false},
        {"one over maxCon and no peer to drop", HIGH_ID, 46, user(PEER_IP, 4662), 4, nullptr, 0, 0,
         false},
        {"both low ids", 0x123, 10, user(0x456, 4662), 2, nullptr, 0, 0, false},
        {"callback refused by the server side", HIGH_ID, 10, user(0x456, 4662), 3, nullptr, 0, 1,
         false},
        {"callback sent", HIGH_ID, 10, user(0x456, 4662), 1, nullptr, 0, 1, true},
        {"id 0xFFFFFE is low", HIGH_ID, 10, user(0xFFFFFE, 4662), 3, nullptr, 0, 1, false},
        {"id 0xFFFFFF is connected to directly", HIGH_ID, 10, user(0xFFFFFF, 4662), 1, nullptr, 1,
         0, false},
    };
    // Alice holds a reference, so she is no dead peer to drop.
    alice->addRef("test");
    for (Case& k : cases) {
        SCOPED_TRACE(k.what);
        theCoreOptions.setClientId(k.ownId);
        theCoreOptions.setServerIp(0x0909090A);
        network.fixed = k.connections;
        gateway.accept = k.callbackAccepted;
        gateway.asked = 0;
        started.clear();
        Peer* out = nullptr;
        EXPECT_EQ(k.result, theClientPool.connect(&k.target, &out, true));
        EXPECT_EQ(k.out, out);
        EXPECT_EQ((size_t)k.started, started.size());
        if (!started.empty()) {
            EXPECT_EQ(k.target.ip, started[0].ip);
            EXPECT_EQ(k.target.port, started[0].port);
        }
        EXPECT_EQ(k.callbacks, gateway.asked);
    }
    EXPECT_FALSE(alice->isClosing());
    EXPECT_NE(std::string::npos, ui.debugText.find("Can't make new connection.\n"));
}

TEST_F(ClientPoolTest, RoomIsMadeByDroppingIdleAcceptedPeersOnce) {
    Peer* busy = listed(0x0301A8C0, 1, true, "busy");
    busy->addRef("test");
    Peer* outgoing = listed(0x0401A8C0, 1, false, "outgoing");
    Peer* idle = listed(0x0501A8C0, 1, true, "idle");
    // Listing an outgoing peer that no listener kept closes it after its queued frames.
    EXPECT_TRUE(outgoing->isClosing());
    EXPECT_FALSE(idle->isClosing());

    network.fixed = 46;
    UserMeta a = user(PEER_IP, 4662), b = user(PEER_IP + 0x01000000, 4662);
    Peer* out = nullptr;
    EXPECT_EQ(1, theClientPool.connect(&a, &out, false));
    EXPECT_TRUE(idle->isClosing());
    EXPECT_FALSE(busy->isClosing());
    EXPECT_NE(std::string::npos, ui.debugText.find("Too many peers dropping: idle\n"));
    // The dropped peer counts until the pool removes it: it makes no room a second time.
    EXPECT_EQ(4, theClientPool.connect(&b, &out, false));
    ASSERT_EQ(1u, started.size());
    EXPECT_FALSE(stayOpen[0]);
}

TEST_F(ClientPoolTest, ListenersHearEveryEventInTheirOrder) {
    struct Listener : PeerEventHandler {
        Listener(std::vector<std::string>& l, const char* n) : log(l), name(n) {}
        void newPeer(Peer* p) override {
            log.push_back(name + " new " + p->getName());
            if (keep) p->addRef("listener");
        }
        void peerClosed(Peer* p) override { log.push_back(name + " closed " + p->getName()); }
        void connectFailed(uint32_t ip, uint16_t port) override {
            log.push_back(name + " failed " + std::to_string(ip) + ":" + std::to_string(port));
        }
        std::vector<std::string>& log;
        std::string name;
        bool keep = false;
    };
    std::vector<std::string> log;
    Listener downloads(log, "downloads"), uploads(log, "uploads");
    uploads.keep = true;
    theClientPool.addListener(&downloads);
    theClientPool.addListener(&uploads);

    Peer* p = new Peer(PEER_IP, 4662, false);
    p->getUser()->setName("bob");
    theClientPool.addPeer(p);
    theClientPool.addPeer(p);
    // A listener kept it, so the release after the news does not close it.
    EXPECT_FALSE(p->isClosing());
    EXPECT_EQ(1, p->refCount());
    theClientPool.notify(7, 8);
    delete p;
    // A peer that was never listed is closed without news.
    delete new Peer(PEER_IP, 4663, false);

    theClientPool.removeListener(&downloads);
    theClientPool.removeListener(&uploads);
    EXPECT_EQ((std::vector<std::string>{"downloads new bob", "uploads new bob",
                                        "downloads failed 7:8", "uploads failed 7:8",
                                        "downloads closed bob", "uploads closed bob"}),
              log);
    EXPECT_NE(std::string::npos, ui.debugText.find("Peer already on list\n"));
}

TEST_F(ClientPoolTest, BroadcastQueuesACopyOnEveryPeer) {
    Peer* a = listed(PEER_IP, 1, true, "a");
    Peer* b = listed(PEER_IP + 0x01000000, 1, true, "b");
    TCPPacket* idChange = new TCPPacket(9, 0xE3);
    idChange->file().write_8(77);
    theClientPool.broadcast(idChange);
    EXPECT_EQ(1, a->queuedPackets());
    EXPECT_EQ(1, b->queuedPackets());
}

TEST_F(ClientPoolTest, LookupsFindTheListedUser) {
    Peer* low = listed(0x42, 4662, true, "low");
    low->getUser()->serverIp = 0x0909090A;
    low->getUser()->hash[0] = 0x99;
    UserMeta sameLow = user(0x42, 4662, 0x0909090A), otherServer = user(0x42, 4662, 0x0808080A);
    EXPECT_EQ(low, theClientPool.find(&sameLow));
    EXPECT_EQ(nullptr, theClientPool.find(&otherServer));
    uint8_t hash[16] = {0x99};
    EXPECT_EQ(low, theClientPool.findByHash(hash));
    EXPECT_TRUE(theClientPool.contains(low));
    Peer stray(PEER_IP, 1, false);
    EXPECT_FALSE(theClientPool.contains(&stray));
}

// ---- connect requests from peers (opcode 90) against a real connector

struct ConnectRequestTest : ::testing::Test {
    ConnectRequestTest()
        : connectPool(testProtocol(), nullptr),
          connector(&connectPool),
          scope(&connectPool, &connector, &network) {
        network.fixed = 10;
        theCoreOptions.maxCon = 45;
        theCoreOptions.setClientId(HIGH_ID);
        connector.setConnectLimit(1500);
        theProtocolHolder.setProxy(nullptr);
    }
    ~ConnectRequestTest() override {
        for (Peer* p : asking) delete p;
    }
    // Held by someone, so no room is ever made by dropping it.
    Peer* askingPeer(uint32_t ip) {
        asking.push_back(listedPeer(ip, 4662, true, "asker"));
        asking.back()->addRef("test");
        return asking.back();
    }
    // The addresses of the failed attempts' messages 35, taken off the queue until there are
    // `expected` and no attempt is left. An attempt leaves the pending list before its
    // thread posts the failure, so an empty list alone does not mean the message is there.
    std::vector<IpPort> failedConnects(size_t expected) {
        struct Taker : MessageHandler {
            void handleMessage(Message* m) override {
                if (IpPort* where = m->get<IpPort>()) taken.push_back(*where);
            }
            std::vector<IpPort> taken;
        } taker;
        theMessageQ.setHandler(&taker, MSG_CONNECT_FAILED);
        bool all = waitUntil([&] {
            while (theMessageQ.pending() > 0) theMessageQ.run(0);
            return taker.taken.size() >= expected && connector.pendingCount() == 0;
        });
        theMessageQ.setHandler(nullptr, MSG_CONNECT_FAILED);
        EXPECT_TRUE(all) << connector.pendingCount() << " attempts still pending, "
                         << taker.taken.size() << " failures posted";
        return taker.taken;
    }

    STSocketPool connectPool;
    Connector connector;
    CountingNetwork network;
    CoreScope scope;
    CaptureUI ui;
    std::vector<Peer*> asking;
};

TEST_F(ConnectRequestTest, AFloodMakesOneAttemptAPeerAndFewInAll) {
    std::vector<std::unique_ptr<nettest::SilentListener>> targets;
    for (int i = 0; i < 6; i++) {
        targets.emplace_back(new nettest::SilentListener);
        if (!targets.back()->is_full()) GTEST_SKIP() << "no loopback listener stays silent here";
    }
    Peer* flooder = askingPeer(PEER_IP);
    for (int round = 0; round < 50; round++)
        theClientPool.connectRequested(flooder, LOOPBACK_IP, (uint16_t)targets[round % 6]->port());
    EXPECT_EQ(1, connector.pendingCount());

    // Other peers each get one, up to the common limit.
    for (int i = 1; i < 6; i++)
        theClientPool.connectRequested(askingPeer(PEER_IP + (uint32_t)i * 0x01000000), LOOPBACK_IP,
                                       (uint16_t)targets[i]->port());
    EXPECT_EQ(ClientPool::MAX_REQUESTED_PENDING, connector.pendingCount());

    // Each attempt ends within its limit and reports its failure once.
    EXPECT_EQ((size_t)ClientPool::MAX_REQUESTED_PENDING,
              failedConnects(ClientPool::MAX_REQUESTED_PENDING).size());

    // Low ids and requests without room are not acted on.
    theClientPool.connectRequested(askingPeer(PEER_IP + 0x20000000), 0x42,
                                   (uint16_t)targets[0]->port());
    network.fixed = 46;
    theClientPool.connectRequested(askingPeer(PEER_IP + 0x21000000), LOOPBACK_IP,
                                   (uint16_t)targets[0]->port());
    EXPECT_EQ(0, connector.pendingCount());
}

TEST_F(ConnectRequestTest, AFailedConnectIsPostedWithItsAddress) {
    int port = nettest::free_port();
    UserMeta target = user(LOOPBACK_IP, (uint16_t)port);
    Peer* out = nullptr;
    EXPECT_EQ(ClientPool::UNDER_WAY, theClientPool.connect(&target, &out, false));
    std::vector<IpPort> failed = failedConnects(1);
    ASSERT_EQ(1u, failed.size());
    EXPECT_EQ(LOOPBACK_IP, failed[0].ip);
    EXPECT_EQ((uint32_t)port, failed[0].port);
}
