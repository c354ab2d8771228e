#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "core/Core.h"
#include "core/CoreHandler.h"
#include "core/CoreNetwork.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/ProtocolHolder.h"
#include "core/XMLStringTable.h"
#include "i4min/TempDir.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/CapturedUI.h"
#include "support/FreshCopy.h"
#include "support/Sanitizers.h"
#include "support/Waiting.h"
#include "util/XMLParser.h"

namespace {

// Who ran, in order, on the core task thread.
struct Trace {
    void add(const std::string& what) {
        std::lock_guard<std::mutex> g(lock);
        order.push_back(what);
    }
    std::vector<std::string> taken() {
        std::lock_guard<std::mutex> g(lock);
        return order;
    }
    std::mutex lock;
    std::vector<std::string> order;
};

struct PoolStandIn : TimeSliceTask {
    explicit PoolStandIn(Trace& t) : trace(t) {}
    bool run(int) override {
        trace.add("pool");
        return false;
    }
    Trace& trace;
};

struct MessageStandIn : MessageHandler {
    explicit MessageStandIn(Trace& t) : trace(t) {}
    void handleMessage(Message*) override { trace.add("message"); }
    Trace& trace;
};

// The connection layer as the core sees it: opaque pool and connector, one task.
struct FakeNetwork : CoreNetwork {
    explicit FakeNetwork(Trace& t) : task(t) {}
    TimeSliceTask* open(STSocketPool** pool, Connector** connector) override {
        opened++;
        // Settings and filters are in place before the pool is made.
        filtersAtOpen = core ? core->filters.wordCount() : -1;
        *pool = reinterpret_cast<STSocketPool*>(&poolMark);
        *connector = reinterpret_cast<Connector*>(&connectorMark);
        return &task;
    }
    int connectionCount(STSocketPool* pool) override {
        return pool == reinterpret_cast<STSocketPool*>(&poolMark) ? 3 : -1;
    }
    void close(STSocketPool* pool, Connector* connector) override {
        closedPool = pool;
        closedConnector = connector;
        prefWrittenAtClose = access("pref.met", F_OK) == 0;
    }
    PoolStandIn task;
    Core* core = nullptr;
    int opened = 0;
    int filtersAtOpen = -1;
    char poolMark = 0;
    char connectorMark = 0;
    STSocketPool* closedPool = nullptr;
    Connector* closedConnector = nullptr;
    bool prefWrittenAtClose = false;
};

void writeFile(const std::string& path, const std::string& text) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, f) << path;
    fwrite(text.data(), 1, text.size(), f);
    fclose(f);
}

// Runs a test in a fresh base directory.
struct InBaseDir : ::testing::Test {
    InBaseDir() {
        char here[4096];
        saved = getcwd(here, sizeof here) ? here : "/";
        EXPECT_EQ(0, chdir(dir.path.c_str()));
    }
    ~InBaseDir() override {
        theCoreOptions.setStringPref("uiPath", "");
        EXPECT_EQ(0, chdir(saved.c_str()));
    }
    TempDir dir;
    std::string saved;
    CapturedUI ui;
};

}  // namespace

using CoreStart = InBaseDir;

TEST_F(CoreStart, StartsInOrderAndStopWritesPrefMet) {
    writeFile(dir / "filters.txt", "alpha\nbeta\n");
    Trace trace;
    FakeNetwork network(trace);
    MessageStandIn probe(trace);
    theMessageQ.setHandler(&probe, MSG_NOTHING);
    // Queued before start: the first pass shows which task comes first.
    theMessageQ.post(MSG_NOTHING);

    Core core;
    core.setNetwork(&network);
    network.core = &core;
    EXPECT_EQ(0, core.connectionCount());
    core.start();
    waitUntil([&] { return trace.taken().size() >= 3; });
    core.stopThread();
    theMessageQ.setHandler(nullptr, MSG_NOTHING);

    std::vector<std::string> order = trace.taken();
    ASSERT_GE(order.size(), 2u);
    EXPECT_EQ("pool", order[0]);
    EXPECT_EQ("message", order[1]);
    EXPECT_EQ(1, network.opened);
    EXPECT_EQ(2, network.filtersAtOpen);
    EXPECT_EQ(3, core.connectionCount());
    EXPECT_NE(nullptr, theProtocolHolder.get());
    EXPECT_LT(core.millis(), 60000);
    EXPECT_GE(core.millis(), 0);

    // A first start writes its new identity at once, so that a crash before the quit
    // keeps it; the stop writes the file again before the pool goes.
    std::ifstream first(dir / "pref.met", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(first)), std::istreambuf_iterator<char>());
    ASSERT_GE(bytes.size(), 22u);
    EXPECT_EQ(0, memcmp(bytes.data() + 6, theCoreOptions.getOwnUser()->hash, 16));
    core.stop();
    EXPECT_TRUE(network.prefWrittenAtClose);
    EXPECT_EQ(reinterpret_cast<STSocketPool*>(&network.poolMark), network.closedPool);
    EXPECT_EQ(reinterpret_cast<Connector*>(&network.connectorMark), network.closedConnector);
    EXPECT_EQ(nullptr, core.socketPool);
    EXPECT_EQ(nullptr, core.connector);
    EXPECT_EQ(0, core.connectionCount());
    struct stat st;
    ASSERT_EQ(0, stat((dir / "pref.met").c_str(), &st));
    EXPECT_GT(st.st_size, 0);
}

TEST_F(CoreStart, StoredProxyIsInstalledAtStart) {
    // A proxy stored by an earlier run is the one every socket goes through.
    theCoreOptions.load();
    i4_proxy_settings socks;
    socks.type = I4_PROXY_SOCKS4;
    socks.host = i4_strdup("127.0.0.1");
    socks.port = 1080;
    theCoreOptions.setProxy(&socks);
    ASSERT_TRUE(theCoreOptions.save());
    theCoreOptions.setProxy(nullptr);

    Trace trace;
    FakeNetwork network(trace);
    Core core;
    core.setNetwork(&network);
    core.start();
    core.stopThread();
    ASSERT_NE(nullptr, theProtocolHolder.get());
    EXPECT_EQ((uint32_t)I4_PROXY_SOCKS4, theProtocolHolder.get()->proxy_type());
    // Changing the proxy later keeps the same protocol object.
    i4_protocol* before = theProtocolHolder.get();
    theCoreOptions.setProxy(nullptr);
    EXPECT_EQ(before, theProtocolHolder.get());
    EXPECT_EQ((uint32_t)I4_PROXY_DIRECT, theProtocolHolder.get()->proxy_type());
    core.stop();
}

TEST_F(CoreStart, StartWithoutConnectionLayerFails) {
    Core core;
    EXPECT_THROW(core.start(), i4_err);
    core.stop();
}

const char kNoRoomForTheCore[] = "TORNAVEL_TEST_NO_ROOM_FOR_THE_CORE";

// Without its thread nothing would ever run a typed command, and the console
// would wait for it forever: the start fails instead. The address space is
// cut in a fresh copy of this program, so that no earlier thread's stack is
// there for reuse.
TEST_F(CoreStart, ExhaustsMemoryAndFailsWhenItsThreadCannotStart) {
#if TORNAVEL_ASAN
    GTEST_SKIP() << "an address-space limit starves the sanitizer too";
#endif
    if (getenv(kNoRoomForTheCore)) {
        alarm(20);  // a hang ends this copy by signal
        Trace trace;
        FakeNetwork network(trace);
        Core core;
        core.setNetwork(&network);
        rlimit limit;
        limit.rlim_cur = limit.rlim_max = (rlim_t)addressSpaceInUse() + 2 * 1024 * 1024;
        ASSERT_EQ(0, setrlimit(RLIMIT_AS, &limit));
        EXPECT_THROW(core.start(), i4_err);
        EXPECT_EQ(Thread::NOT_RUNNING, core.taskThread().getState());
        return;
    }
    expectPassInFreshCopy(kNoRoomForTheCore);
}

using CoreFilters = InBaseDir;

TEST_F(CoreFilters, MessageReloadsTheEditedFilterFile) {
    theCoreOptions.load();
    writeFile(dir / "filters.txt", "one\n");
    theCore.reloadFilters();
    EXPECT_EQ(1, theCore.filters.wordCount());

    MessageQ queue;
    theCoreHandler.registerHandlers(queue);
    writeFile(dir / "filters.txt", "one\ntwo\nthree\n");
    // Other ids are not the core's.
    Message other(MSG_NOTHING);
    theCoreHandler.handleMessage(&other);
    EXPECT_EQ(1, theCore.filters.wordCount());

    ASSERT_TRUE(queue.post(MSG_RELOAD_FILTERS));
    EXPECT_TRUE(queue.run(0));
    EXPECT_EQ(3, theCore.filters.wordCount());

    // A missing file leaves the list empty.
    ASSERT_EQ(0, unlink((dir / "filters.txt").c_str()));
    ASSERT_TRUE(queue.post(MSG_RELOAD_FILTERS));
    EXPECT_TRUE(queue.run(0));
    EXPECT_EQ(0, theCore.filters.wordCount());
}

// A list past the size that is read says so once, not at every reload.
TEST_F(CoreFilters, AListThatIsCutSaysSoOnce) {
    theCoreOptions.load();
    std::string big;
    while (big.size() <= (size_t)FilterMaster::MAX_FILE_BYTES) big += "word\n";
    writeFile(dir / "filters.txt", big);
    ui.out.clear();
    theCore.reloadFilters();
    theCore.reloadFilters();
    EXPECT_EQ(ui.text(), dir / "filters.txt" + " is longer than " +
                             std::to_string((int)FilterMaster::MAX_FILE_BYTES) +
                             " bytes: the words after them are dropped\n");
    writeFile(dir / "filters.txt", "word\n");
    theCore.reloadFilters();
    EXPECT_EQ(1, theCore.filters.wordCount());
    writeFile(dir / "filters.txt", big);
    ui.out.clear();
    theCore.reloadFilters();
    EXPECT_NE(ui.text(), "") << "cut again after a load that was whole";
}

using CoreTexts = InBaseDir;

namespace {
// Puts the built-in texts back; the document must outlive the table's use of it.
void resetTexts() {
    static XMLParser blank;
    theXMLStringTable.load(blank.parse("<skin/>"));
}
const char* const kOwnText = "Nichts.";
std::string uiXml(const char* label) {
    return std::string("<skin><STRINGS><STRINGS_NONE label=\"") + label + "\"/></STRINGS></skin>";
}
}  // namespace

TEST_F(CoreTexts, WithoutUiXmlTheBuiltInTextsStand) {
    resetTexts();
    theCore.loadUIStrings();
    EXPECT_STREQ("None.", theXMLStringTable.get(26));
    EXPECT_STREQ(XMLStringTable::defaultText(1), theXMLStringTable.get(1));
}

TEST_F(CoreTexts, UiXmlUnderSkinsDefaultReplacesThem) {
    resetTexts();
    ASSERT_EQ(0, mkdir((dir / "skins").c_str(), 0755));
    ASSERT_EQ(0, mkdir((dir / "skins/default").c_str(), 0755));
    writeFile(dir / "skins/default/ui.xml", uiXml(kOwnText));
    theCore.loadUIStrings();
    EXPECT_STREQ(kOwnText, theXMLStringTable.get(26));
    EXPECT_STREQ(XMLStringTable::defaultText(1), theXMLStringTable.get(1));
    resetTexts();
}

TEST_F(CoreTexts, UiPathIsTriedFirstThenTheDefaultDirectory) {
    ASSERT_EQ(0, mkdir((dir / "skins").c_str(), 0755));
    ASSERT_EQ(0, mkdir((dir / "skins/default").c_str(), 0755));
    ASSERT_EQ(0, mkdir((dir / "mine").c_str(), 0755));
    writeFile(dir / "skins/default/ui.xml", uiXml("default"));
    writeFile(dir / "mine/ui.xml", uiXml("mine"));

    struct Case {
        std::string uiPath;
        const char* expected;
    } cases[] = {
        {dir.path + "/mine/", "mine"},
        {dir.path + "/nowhere/", "default"},
        {"", "default"},
    };
    for (const Case& c : cases) {
        resetTexts();
        theCoreOptions.setStringPref("uiPath", c.uiPath.c_str());
        theCore.loadUIStrings();
        EXPECT_STREQ(c.expected, theXMLStringTable.get(26)) << c.uiPath;
    }
    resetTexts();
}

TEST(Core, MillisCountOnTheMonotonicClockNotTheDate) {
    i4_test_clock clock;
    Core core;
    clock.step_ms(1234);
    clock.step_wall_ms(-24 * 3600 * 1000);
    EXPECT_EQ(1234, core.millis());
}
