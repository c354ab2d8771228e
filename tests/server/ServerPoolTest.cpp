#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "ServerTestSupport.h"
#include "core/CoreOptions.h"
#include "i4min/TempDir.h"
#include "meta/MetaTag.h"
#include "meta/SN_FindStr.h"
#include "meta/Search.h"
#include "net/IpPort.h"
#include "server/ExServer.h"
#include "server/ServerDownloadSources.h"
#include "server/ServerSettings.h"
#include "util/CountedRef.h"

using namespace servertest;

namespace {

const int64_t PING_AGE = ExServer::PING_EVERY_MS;

// Puts the server settings back after a test that changes them.
struct SettingsScope {
    SettingsScope()
        : autoConnect(theServerSettings.autoConnect),
          recon(theServerSettings.recon),
          servRemove(theServerSettings.servRemove) {}
    ~SettingsScope() {
        theServerSettings.autoConnect = autoConnect;
        theServerSettings.recon = recon;
        theServerSettings.servRemove = servRemove;
    }
    int autoConnect, recon, servRemove;
};

// A search that counts how many of its kind are gone; the gateway may let the last one go
// after the test.
int searchesDeleted = 0;
struct WatchedSearch : Search {
    ~WatchedSearch() override { searchesDeleted++; }
};

class ServerPoolTest : public ServerFixture {
protected:
    ~ServerPoolTest() override {
        drainMessages();
        if (MainServer* c = pool().connection()) {
            c->discardSilently();
            pool().connectionClosed(c);
            if (!c->isAttached()) delete c;
        }
        connector.reset();
        sockets.reset();
    }

    ExServer* add(uint32_t ip, uint16_t port, const char* name = nullptr, int64_t age = 0) {
        ExServer* s = new ExServer(ip, port);
        if (name) s->setName(name);
        s->age = age;
        pool().servers().add(s);
        return s;
    }
    int count() { return pool().servers().getList()->count(); }
    bool listed(ExServer* s) { return pool().servers().getList()->contains(s); }

    // A connection that stands for the logged-in server; nothing is sent anywhere.
    MainServer* connected(ExServer* s) {
        MainServer* c = new MainServer(s, &pool());
        pool().setConnection(c);
        return c;
    }

    // Runs the socket pool and the messages until done holds.
    bool settle(const std::function<bool()>& done) {
        return pump([&] {
            drainMessages();
            return done();
        });
    }
    bool saw(const std::string& line) {
        for (const std::string& l : console.lines)
            if (l == line) return true;
        return false;
    }

    // What the server got over UDP; "" when nothing went out to any server.
    std::string sent(UdpServer& to) {
        if (pool().annex()->queuedPackets() == 0) return std::string();
        std::string got;
        pump([&] { return !(got = to.receive(20)).empty(); });
        return got;
    }

    SettingsScope settings;
    RecordingLink link;
    RecordingServerUI ui;
    CaptureUI console;
};

TEST_F(ServerPoolTest, AutoConnectTriesEveryMinuteWhileNotConnected) {
    theServerSettings.autoConnect = 1;
    const struct {
        int ms;
        bool printed;
    } steps[] = {{0, true}, {59999, false}, {1, true}, {30000, false}, {30000, true}};
    for (const auto& step : steps) {
        size_t before = console.lines.size();
        int queued = theMessageQ.pending();
        pool().run(step.ms);
        EXPECT_EQ(console.lines.size() > before, step.printed) << "after " << step.ms << " ms";
        EXPECT_EQ(theMessageQ.pending() > queued, step.printed) << "after " << step.ms << " ms";
    }
    EXPECT_EQ(console.lines.back(), "automatically connecting");

    ExServer* s = add(LOOPBACK, 4661);
    connected(s);
    size_t before = console.lines.size();
    pool().run(120000);
    EXPECT_EQ(console.lines.size(), before) << "not while connected";
    theServerSettings.autoConnect = 0;
}

TEST_F(ServerPoolTest, ThePingThatFindsTooManyUnansweredRemovesTheServer) {
    const struct {
        int32_t history;
        int32_t pref;
        int servRemove;
        bool removed;
    } table[] = {
        {6, 0, 1, true},  {6, -2, 1, true}, {6, 2, 1, false},
        {6, 0, 0, false}, {5, 0, 1, false}, {-1, 0, 1, true},
    };
    for (const auto& c : table) {
        theServerSettings.servRemove = c.servRemove;
        ExServer* s = add(0x0100000A, 4661, nullptr, PING_AGE);
        s->history = c.history;
        s->pref = c.pref;
        pool().run(1);
        EXPECT_EQ(!listed(s), c.removed) << "history " << c.history << " pref " << c.pref;
        if (listed(s)) {
            EXPECT_EQ(s->history, c.history + 1);
            EXPECT_EQ(s->age, 0);
        }
        pool().servers().deleteAll();
    }
}

TEST_F(ServerPoolTest, ANormalServerGoesAtItsSeventhUnansweredCheckAPreferredOneNever) {
    theServerSettings.servRemove = 1;
    ExServer* normal = add(0x0100000A, 4661);
    ExServer* preferred = add(0x0200000A, 4661);
    preferred->setPreference(2);
    int checks = 0;
    while (listed(normal) && checks < 20) {
        pool().run((int)PING_AGE + 1);
        checks++;
    }
    EXPECT_EQ(checks, 7);
    EXPECT_TRUE(listed(preferred));
    EXPECT_EQ(preferred->history, 7);
    EXPECT_EQ(pool().annex()->queuedPackets(), 6 + 7) << "one status request a ping";
}

TEST_F(ServerPoolTest, ConnectTriesTheBestServersInTurn) {
    ServerEnd second;
    // Bound but not listening: a connect there is refused.
    int refused = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = nettest::loopback_sa(0);
    ASSERT_EQ(0, bind(refused, (sockaddr*)&sa, sizeof sa));
    socklen_t len = sizeof sa;
    getsockname(refused, (sockaddr*)&sa, &len);
    int refusedPort = ntohs(sa.sin_port);
    ExServer* third = add(LOOPBACK, 9, "Third");
    ExServer* first = add(LOOPBACK, (uint16_t)refusedPort, "First");
    ExServer* best = add(LOOPBACK, (uint16_t)second.port, "Second");
    first->setPreference(2);
    first->setPing(50);
    best->setPing(50);
    (void)third;

    pool().connect(nullptr);
    ASSERT_TRUE(settle([&] { return second.client >= 0 || second.accept(10); }));
    std::string login;
    ASSERT_TRUE(pump([&] { return second.takeFrame(login); }));
    EXPECT_EQ(console.lines[0], "Connecting to First ....");
    EXPECT_EQ(console.lines[1], "Can't connect to: 127.0.0.1");
    EXPECT_EQ(console.lines[2], "Connecting to Second ....");
    EXPECT_EQ(console.lines[3], "Placed on connection Queue.");
    EXPECT_EQ(pool().queuedServers(), 1) << "the third waits its turn";

    second.send(MainServer::OP_ID_CHANGE, le32(0x0100007F));
    EXPECT_TRUE(settle([&] { return !pool().isConnecting(); }));
    EXPECT_EQ(pool().queuedServers(), 0) << "a login ends the trying";

    pool().connect(nullptr);
    EXPECT_EQ(console.lines.back(), "Already Connected.");
    IpPort same(LOOPBACK, (uint32_t)second.port);
    pool().connect(&same);
    EXPECT_EQ(console.lines.back(), "Already connected to that server.");
    close(refused);
}

TEST_F(ServerPoolTest, ANamedServerTakesItsPasswordAlongAndReplacesTheConnection) {
    ServerEnd end;
    ExServer* s = add(LOOPBACK, (uint16_t)end.port, "Named");
    s->setTag(ServerMeta::PASSWORD, "sesame", MetaTag::STRING);
    ExServer* other = add(0x0100000A, 4661);
    MainServer* before = connected(other);
    ui.events.clear();

    IpPort target(LOOPBACK, (uint32_t)end.port);
    pool().connect(&target);
    EXPECT_EQ(ui.events, std::vector<std::string>{"disconnected"}) << "the old server is left";
    EXPECT_EQ(pool().connection(), nullptr);
    delete before;
    ASSERT_TRUE(settle([&] { return end.client >= 0 || end.accept(10); }));
    std::string login;
    ASSERT_TRUE(pump([&] { return end.takeFrame(login); }));
    EXPECT_EQ(login.substr(login.size() - 8), text("sesame"));
    EXPECT_EQ(console.lines[0], "Connecting to Named ....");
}

TEST_F(ServerPoolTest, ARefusedDuplicateConnectIsDiscardedQuietly) {
    nettest::SilentListener silent;
    ASSERT_TRUE(silent.is_full()) << "could not fill the accept queue";
    connector->setConnectLimit(500);
    add(LOOPBACK, (uint16_t)silent.port(), "Slow");
    IpPort target(LOOPBACK, (uint32_t)silent.port());

    pool().connect(&target);
    EXPECT_TRUE(pool().isConnecting());
    pool().stopConnecting();
    // Tried again while the first attempt still waits for an answer: the connector
    // refuses it, and the pool neither hangs on its own lock nor counts a failure.
    pool().connect(&target);
    EXPECT_EQ(console.lines,
              (std::vector<std::string>{"Connecting to Slow ....", "Connecting to Slow ....",
                                        "Already trying to connect to that server."}));
    EXPECT_FALSE(pool().isConnecting());
    // Waits for the first attempt to end, and for its connect thread with it.
    connector.reset();
    EXPECT_FALSE(saw("Can't connect to: 127.0.0.1")) << "a stopped attempt ends quietly";
    EXPECT_EQ(theMessageQ.pending(), 0);
}

TEST_F(ServerPoolTest, SearchesSpreadOverTheListSkippingTheConnectedServer) {
    UdpServer a, b;
    add(LOOPBACK, a.tcpPort(), "A");
    add(LOOPBACK, b.tcpPort(), "B");
    ExServer* c = add(LOOPBACK, 4661, "C");
    connected(c);
    Search* s = new Search();
    CountedRef<Search> held(s);
    s->addNode(new SN_FindStr("ab"), 0);
    const std::string expression = std::string("\x01") + text("ab");

    pool().search(s, true);
    pool().extendSearch(s, true);
    pool().extendSearch(s, false);
    pool().extendSearch(s, true);
    EXPECT_EQ(ui.events, (std::vector<std::string>{"extending A", "extending B"}));
    EXPECT_EQ(console.lines.back(), "No more servers to extend to.");
    std::string got;
    ASSERT_TRUE(pump([&] { return !(got = a.receive(20)).empty(); }));
    EXPECT_EQ(got, "\xe3\x98" + expression);
    ASSERT_TRUE(pump([&] { return !(got = b.receive(20)).empty(); }));
    EXPECT_EQ(got, "\xe3\x9d" + expression);

    pool().search(s, true);
    ui.events.clear();
    pool().extendSearch(s, true);
    EXPECT_EQ(ui.events, std::vector<std::string>{"extending A"}) << "a new search starts over";
}

TEST_F(ServerPoolTest, SourceRequestsWalkTheServersAtMostEvery7001ms) {
    UdpServer a, b;
    add(LOOPBACK, a.tcpPort(), "A");
    add(LOOPBACK, b.tcpPort(), "B");
    ExServer* c = add(LOOPBACK, 4661, "C");
    MainServer* tcp = connected(c);
    ServerDownloadSources first(theServerGateway);
    ServerDownloadSources second(theServerGateway);
    uint8_t h1[16], h2[16];
    memset(h1, 0x11, 16);
    memset(h2, 0x22, 16);
    const std::string ask1 = "\xe3\x9a" + std::string(16, '\x11');

    first.findSources(h1);
    first.tick(7000);
    first.findSources(h1);
    EXPECT_EQ(sent(a), "") << "no request within 7001 ms of the start";
    first.tick(1);
    first.findSources(h1);
    EXPECT_EQ(sent(a), ask1);
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(sent(b), ask1);
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(tcp->queuedPackets(), 1) << "the connected server is asked over TCP, in its turn";
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(sent(a), "") << "every server has a request pending";
    EXPECT_EQ(tcp->queuedPackets(), 1);

    second.tick(7001);
    second.findSources(h2);
    EXPECT_EQ(sent(a), "\xe3\x9a" + std::string(16, '\x22')) << "pending requests are per file";

    pool().run((int)ExServer::REQUEST_EXPIRY_MS);
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(sent(a), "") << "not yet 20 minutes";
    pool().run(1);
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(sent(a), ask1) << "expired requests start the walk again";

    tcp->discardSilently();
    pool().connectionClosed(tcp);
    delete tcp;
    pool().run((int)ExServer::REQUEST_EXPIRY_MS + 1);
    first.tick(7001);
    first.findSources(h1);
    EXPECT_EQ(sent(a), "") << "nothing without a server connection";
    connected(c);
    first.tick(7000);
    first.findSources(h1);
    EXPECT_EQ(sent(a), "") << "the request that could not go out still counts";
    first.tick(1);
    first.findSources(h1);
    EXPECT_EQ(sent(a), ask1);
}

TEST_F(ServerPoolTest, AnEndedDownloadForgetsItsRequestsAtEveryServerAndOnlyThose) {
    UdpServer a, b;
    add(LOOPBACK, a.tcpPort(), "A");
    add(LOOPBACK, b.tcpPort(), "B");
    connected(add(LOOPBACK, 4661, "C"));
    ServerDownloadSources ended(theServerGateway);
    ServerDownloadSources other(theServerGateway);
    uint8_t h1[16], h2[16];
    memset(h1, 0x11, 16);
    memset(h2, 0x22, 16);
    for (int i = 0; i < 3; i++) {
        ended.tick(7001);
        ended.findSources(h1);
        sent(i == 0 ? a : b);
    }
    other.tick(7001);
    other.findSources(h2);
    EXPECT_EQ(sent(a), "\xe3\x9a" + std::string(16, '\x22'));

    ended.forgetRequests(h1);
    // A new download of the same file asks as a new one does, from the first server on.
    ServerDownloadSources again(theServerGateway);
    again.tick(7001);
    again.findSources(h1);
    EXPECT_EQ(sent(a), "\xe3\x9a" + std::string(16, '\x11'));
    other.tick(7001);
    other.findSources(h2);
    EXPECT_EQ(sent(b), "\xe3\x9a" + std::string(16, '\x22'))
        << "the other file's request at A is still pending";
}

TEST_F(ServerPoolTest, SettingsTakeTheirDefaultOnlyWhenMissing) {
    Meta* prefs = theCoreOptions.getPrefs();
    const struct {
        std::vector<std::pair<const char*, int>> stored;
        int autoConnect, recon, servRemove;
    } table[] = {
        {{}, 0, 1, 1},
        {{{"auto", 1}}, 1, 1, 1},
        {{{"auto", 1}, {"recon", 0}, {"servRemove", 0}}, 1, 0, 0},
        {{{"servRemove", 7}}, 0, 1, 7},
    };
    for (const auto& c : table) {
        for (const char* key : {"auto", "recon", "servRemove"}) prefs->removeTag(key);
        for (const auto& kv : c.stored) theCoreOptions.setIntPref(kv.first, kv.second);
        theServerSettings.load();
        EXPECT_EQ(theServerSettings.autoConnect, c.autoConnect);
        EXPECT_EQ(theServerSettings.recon, c.recon);
        EXPECT_EQ(theServerSettings.servRemove, c.servRemove);
    }
    theServerSettings.autoConnect = 1;
    theServerSettings.save();
    EXPECT_EQ(prefs->getTagInt("auto"), 1);
    EXPECT_EQ(std::string(theServerSettings.serverMetPath().c_str()),
              std::string(theCoreOptions.getBaseDir().c_str()) + "/server.met");
    for (const char* key : {"auto", "recon", "servRemove"}) prefs->removeTag(key);
}

TEST_F(ServerPoolTest, AMergedListAddsOnlyServersNotListed) {
    TempDir dir;
    ExServer* listed = add(0x0100000A, 4661, "Mine");
    ExServerList file;
    ExServer* same = new ExServer(0x0100000A, 4661);
    same->setName("Theirs");
    file.add(same);
    file.add(new ExServer(0x0200000A, 4662));
    ASSERT_TRUE(file.save((dir / "tempServer.met").c_str(), true));
    file.deleteAll();

    theMessageQ.post(MSG_MERGE_SERVER_LIST,
                     std::make_unique<i4_string>((dir / "tempServer.met").c_str()));
    drainMessages();
    EXPECT_EQ(count(), 2);
    i4_string name;
    EXPECT_STREQ(listed->displayName(name), "Mine");
    ExServer* fetched = pool().servers().atNoLock(1);
    EXPECT_EQ(fetched->ip, 0x0200000Au);
    EXPECT_EQ(fetched->age, PING_AGE) << "pinged at the next pass";
    EXPECT_EQ(ui.events, std::vector<std::string>{"list changed"});
}

TEST_F(ServerPoolTest, OnlyAServerWithAnAddressAndARealPortIsAdded) {
    const struct {
        uint32_t ip;
        int port;
        int answer;
    } table[] = {{0x0100000A, 4661, 1},  {0x0100000A, 4661, 1},  {0x0100000A, 65535, 1},
                 {0x0100000A, 1, 1},     {0, 4661, 0},           {0x0100000A, 0, 0},
                 {0x0100000A, 65536, 0}, {0x0100000A, 70000, 0}, {0x0100000A, -4661, 0}};
    for (const auto& c : table)
        EXPECT_EQ(pool().addServer(c.ip, c.port), c.answer)
            << std::hex << c.ip << std::dec << ":" << c.port;
    EXPECT_EQ(count(), 3) << "a listed address is not added twice";
    EXPECT_EQ(pool().servers().atNoLock(0)->age, PING_AGE) << "pinged at the next pass";
}

TEST_F(ServerPoolTest, AnEmptyListWritesServerMetOnlyOverAnOldOne) {
    TempDir dir;
    const std::string path = dir / "server.met";
    EXPECT_TRUE(pool().saveList(path.c_str()));
    EXPECT_FALSE(std::ifstream(path).good()) << "no file made for no server";
    add(0x0100000A, 4661);
    ASSERT_TRUE(pool().saveList(path.c_str()));
    EXPECT_GT(readText(path).size(), 5u);
    pool().servers().deleteAll();
    ASSERT_TRUE(pool().saveList(path.c_str()));
    EXPECT_EQ(readText(path), std::string("\x0e\0\0\0\0", 5))
        << "the last server removed is kept so";
}

TEST_F(ServerPoolTest, TheGatewayHoldsOneSearchAndEachMessageItsOwnReference) {
    searchesDeleted = 0;
    int& deleted = searchesDeleted;
    WatchedSearch* first = new WatchedSearch();
    first->addNode(new SN_FindStr("one"), 0);
    theServerGateway.newSearch(first);
    EXPECT_TRUE(theServerGateway.extendSearch());
    drainMessages();
    EXPECT_EQ(deleted, 0) << "the gateway keeps the current search";
    EXPECT_EQ(console.lines.back(), "Not connected to a server.");

    WatchedSearch* second = new WatchedSearch();
    second->addNode(new SN_FindStr("two"), 0);
    theServerGateway.newSearch(second);
    EXPECT_EQ(deleted, 1) << "a new search lets the old one go";
    EXPECT_TRUE(theServerGateway.extendSearch());
    EXPECT_EQ(deleted, 1);
    drainMessages();
    EXPECT_EQ(deleted, 1);
}

}  // namespace
