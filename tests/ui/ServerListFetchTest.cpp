// The server-list fetch started again and again, with lists that fail at once, lists that
// fail later and a server that never finishes its answer, beside a fetch under way; and the
// quit's cancel of a fetch that would otherwise wait for ever.
#include <gtest/gtest.h>
#include <memory>
#include <sched.h>
#include <string>
#include <vector>

#include "i4min/TempDir.h"
#include "i4min/net_test_support.h"
#include "i4min/threads/linux/i4_thread.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"
#include "ui/ServerListFetch.h"

using nettest::ScriptedPeer;

namespace {

const char* const kProblem = "Problem getting list.\n";

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// Waits until every fetch thread has ended.
bool fetchesEnded() {
    return waitUntil([] { return i4_live_threads() == 0; });
}

// Starts a fetch of the URL as soon as the one before has ended.
bool beginWhenFree(const std::string& url, const std::string& path) {
    return waitUntil([&] { return ServerListFetch::begin(url.c_str(), path.c_str()); });
}

// A server that takes the request and then sends a byte now and then, never the end of its
// header: a fetch of it ends only when it is cancelled (or after some 80 s).
std::unique_ptr<ScriptedPeer> tricklingServer() {
    std::vector<ScriptedPeer::Step> script{ScriptedPeer::expect_header()};
    for (int i = 0; i < 40; i++) {
        script.push_back(ScriptedPeer::send("x"));
        script.push_back(ScriptedPeer::pause(2000));
    }
    return std::make_unique<ScriptedPeer>(script);
}

// Keeps the test and every thread it starts on one processor, where a thread just made often
// runs before its maker goes on: the order in which a fetch that fails at once ends first.
class OneProcessor {
public:
    OneProcessor() {
        pinned = sched_getaffinity(0, sizeof before, &before) == 0;
        cpu_set_t one;
        CPU_ZERO(&one);
        int cpu = sched_getcpu();
        CPU_SET(cpu >= 0 ? cpu : 0, &one);
        if (pinned) pinned = sched_setaffinity(0, sizeof one, &one) == 0;
    }
    ~OneProcessor() {
        if (pinned) sched_setaffinity(0, sizeof before, &before);
    }

private:
    cpu_set_t before;
    bool pinned;
};

TEST(ServerListFetchTest, FetchesThatFailAtOnceStartAgainAndAgain) {
    OneProcessor oneProcessor;
    CapturedUI ui;
    TempDir dir;
    const std::string path = dir / "tempServer.met";
    const std::string refused = "http://127.0.0.1:" + std::to_string(nettest::free_port()) + "/";
    // Each ends within moments of its start: the start must not look at the fetch after
    // its thread has let go of it.
    const std::vector<std::string> urls = {"notaurl", refused + "server.met", "ftp://127.0.0.1/x",
                                           "http://", "http://127.0.0.1:1/server.met"};
    const int rounds = 400;
    for (int i = 0; i < rounds; i++)
        ASSERT_TRUE(beginWhenFree(urls[i % urls.size()], path)) << "round " << i;
    ASSERT_TRUE(fetchesEnded());
    EXPECT_EQ((size_t)rounds, count(ui.text(), kProblem));
    EXPECT_FALSE(nettest::file_exists(path));
}

TEST(ServerListFetchTest, OneFetchAtATimeAndTheQuitCancelsIt) {
    CapturedUI ui;
    TempDir dir;
    const std::string path = dir / "tempServer.met";
    std::unique_ptr<ScriptedPeer> silent = tricklingServer();
    const std::string url = "http://127.0.0.1:" + std::to_string(silent->port()) + "/server.met";
    ASSERT_TRUE(ServerListFetch::begin(url.c_str(), path.c_str()));
    // The request has come: the fetch now waits for the rest of the answer.
    EXPECT_NE(std::string::npos, silent->received().find("GET /server.met "));
    for (const char* other : {"notaurl", "http://127.0.0.1:1/x", url.c_str()})
        EXPECT_FALSE(ServerListFetch::begin(other, path.c_str())) << other;
    EXPECT_FALSE(ServerListFetch::begin(nullptr, path.c_str()));

    ServerListFetch::cancelAll();
    bool ended = fetchesEnded();
    // The server's end closes the connection, so a fetch that the cancel missed ends too.
    if (!ended) silent.reset();
    ASSERT_TRUE(ended) << "the fetch still ran a minute after the cancel";
    // A cancelled fetch says nothing: the client is quitting.
    EXPECT_EQ(0u, count(ui.text(), kProblem)) << ui.text();
    EXPECT_FALSE(nettest::file_exists(path));
    // The next fetch starts as usual.
    ASSERT_TRUE(beginWhenFree("notaurl", path));
    ASSERT_TRUE(fetchesEnded());
    EXPECT_EQ(1u, count(ui.text(), kProblem));
}

}  // namespace
