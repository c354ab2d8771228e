#include <algorithm>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../DownloadTestSupport.h"
#include "../ScriptedHttpServer.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/FileParts.h"
#include "support/ByteCompare.h"
#include "support/Waiting.h"
#include "transfer/download/DownloadInterface.h"
#include "transfer/source/OtherFileSource.h"
#include "transfer/web/HttpProtocol.h"
#include "transfer/web/HttpSocketConnectThread.h"
#include "transfer/web/HttpSource.h"
#include "transfer/web/ProtocolInterface.h"

namespace {

const uint32_t CRUMB = (uint32_t)FileParts::CRUMB_SIZE;

// A download's view as the source sees it: ranges are whole crumbs handed out in order;
// every write is checked against the ranges handed out.
struct FakeDownload : DownloadInterface {
    explicit FakeDownload(uint32_t size)
        : data(size, 0),
          done((size + CRUMB - 1) / CRUMB, false),
          taken((size + CRUMB - 1) / CRUMB, false) {}
    void addSourceLink(const char*) override {}
    const char* getFileName() override { return "file.bin"; }
    uint32_t getFileSize() override { return (uint32_t)data.size(); }
    int crumbCount() override { return (int)done.size(); }
    void changeWeight(const uint8_t* flags, int delta) override {
        for (int i = 0; i < crumbCount(); ++i)
            if (!flags[i]) return;
        weight += delta;
    }
    void changeCrumbs(const uint8_t*, const uint8_t*, int) override {}
    int refreshCrumbGaps(int crumb) override {
        if (crumb < 0 || crumb >= crumbCount()) return crumbCount();
        taken[(size_t)crumb] = false;
        released.push_back(crumb);
        return 0;
    }
    int nextRange(const uint8_t*, uint32_t&, uint32_t&) override { return 0; }
    bool randomChunkRange(uint32_t& start, uint32_t& end) override {
        for (size_t c = 0; c < done.size(); ++c) {
            if (done[c] || taken[c]) continue;
            taken[c] = true;
            start = (uint32_t)c * CRUMB;
            end = std::min((uint32_t)data.size(), start + CRUMB);
            return true;
        }
        return false;
    }
    bool writeData(const uint8_t* bytes, uint32_t start, uint32_t end) override {
        if (end > data.size() || start >= end) {
            outside++;
            return true;
        }
        if (refuse) {
            // As a download whose disk is full: it resets its sources and keeps nothing.
            refuse();
            return false;
        }
        for (uint32_t c = start / CRUMB; c <= (end - 1) / CRUMB; ++c)
            if (!taken[c]) outside++;
        std::copy(bytes, bytes + (end - start), data.begin() + start);
        written += end - start;
        for (uint32_t c = start / CRUMB; c <= (end - 1) / CRUMB; ++c) {
            uint32_t cs = c * CRUMB, ce = std::min((uint32_t)data.size(), cs + CRUMB);
            if (end >= ce && start <= cs) done[c] = true;
        }
        // A crumb written in several pieces: done once its last byte arrived in order.
        uint32_t c = (end - 1) / CRUMB;
        if (end == std::min((uint32_t)data.size(), (c + 1) * CRUMB)) done[c] = true;
        return true;
    }
    bool complete() const {
        return std::all_of(done.begin(), done.end(), [](bool b) { return b; });
    }

    std::vector<uint8_t> data;
    std::vector<bool> done, taken;
    std::vector<int> released;
    uint64_t written = 0;
    int outside = 0;
    int weight = 0;
    std::function<void()> refuse;
};

std::string partial(const std::vector<uint8_t>& content, long long first, long long last,
                    const std::string& extra = "") {
    return "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(first) + "-" +
           std::to_string(last) + "/" + std::to_string(content.size()) +
           "\r\nContent-Length: " + std::to_string(last - first + 1) + "\r\n" + extra + "\r\n" +
           std::string(content.begin() + first, content.begin() + last + 1);
}

ScriptedHttpServer::Answer serve(const std::vector<uint8_t>& content, long long first,
                                 long long last) {
    return ScriptedHttpServer::Answer{{partial(content, first, last)}};
}

ScriptedHttpServer::Answer say(const std::string& head) {
    return ScriptedHttpServer::Answer{{head}};
}

// Ticks the source as a download does, every few milliseconds of real time; each tick
// says 10 ms passed, or 30 s while the source waits after a 503. Until the source asks to
// be deleted (true) or stop() holds (true); false when neither came in time.
template <class Stop>
bool drive(HttpSource& s, Stop stop) {
    return passUntil(
        [&] { return !s.tick(s.getState() == HttpSource::WAIT ? 30000 : 10) || stop(); },
        [] { std::this_thread::sleep_for(std::chrono::milliseconds(2)); });
}

struct Case {
    const char* what;
    std::function<ScriptedHttpServer::Answer(const std::vector<uint8_t>&, int, long long,
                                             long long)>
        script;
    bool completes;
    // Requests the server saw and connections the source opened.
    int requests;
    int connections;
};

TEST(HttpSource, ScriptedServers) {
    const uint32_t size = 3 * CRUMB + 1000;
    std::vector<uint8_t> content = randomBytes(size, 5);
    const std::string busy = "HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n";
    using A = ScriptedHttpServer::Answer;
    const Case table[] = {
        {"four 503s remove the source",
         [&](const std::vector<uint8_t>&, int, long long, long long) { return say(busy); }, false,
         4, 4},
        {"two 503s, then ranges",
         [&](const std::vector<uint8_t>& c, int i, long long f, long long l) {
             return i < 2 ? say(busy) : serve(c, f, l);
         },
         true, 6, 3},
        {"keep-alive: one connection for every range",
         [&](const std::vector<uint8_t>& c, int, long long f, long long l) {
             return serve(c, f, l);
         },
         true, 4, 1},
        {"Connection: close: one connection per range",
         [&](const std::vector<uint8_t>& c, int, long long f, long long l) {
             A a{{partial(c, f, l, "Connection: close\r\n")}};
             a.closeAfter = true;
             return a;
         },
         true, 4, 4},
        {"the eleventh redirect is refused",
         [&](const std::vector<uint8_t>&, int i, long long, long long) {
             return say("HTTP/1.1 302 Found\r\nLocation: /r" + std::to_string(i) +
                        "\r\nContent-Length: 0\r\n\r\n");
         },
         false, 11, 1},
        {"heads split across reads",
         [&](const std::vector<uint8_t>& c, int, long long f, long long l) {
             std::string all = partial(c, f, l);
             size_t cut1 = 10, cut2 = all.find("\r\n\r\n") + 2;
             return A{{all.substr(0, cut1), all.substr(cut1, cut2 - cut1), all.substr(cut2)}};
         },
         true, 4, 1},
        {"heads ending in \\n\\n",
         [&](const std::vector<uint8_t>& c, int, long long f, long long l) {
             return say("HTTP/1.1 206 Partial\nContent-Range: bytes " + std::to_string(f) + "-" +
                        std::to_string(l) + "/" + std::to_string(c.size()) +
                        "\nContent-Length: " + std::to_string(l - f + 1) + "\n\n" +
                        std::string(c.begin() + f, c.begin() + l + 1));
         },
         true, 4, 1},
        {"a Content-Range other than the one asked",
         [&](const std::vector<uint8_t>& c, int, long long f, long long l) {
             return say(partial(c, f + 1, l));
         },
         false, 1, 1},
        {"a body of chunks",
         [&](const std::vector<uint8_t>&, int, long long, long long) {
             return say(
                 "HTTP/1.1 206 Partial\r\nTransfer-Encoding: "
                 "chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
         },
         false, 1, 1},
        {"a body without a length",
         [&](const std::vector<uint8_t>&, int, long long, long long) {
             return say("HTTP/1.1 200 OK\r\n\r\nhello");
         },
         false, 1, 1},
        {"a 200 for a file of another size",
         [&](const std::vector<uint8_t>&, int, long long, long long) {
             return say("HTTP/1.1 200 OK\r\nContent-Length: 12000000\r\n\r\nabc");
         },
         false, 1, 1},
        {"not http",
         [&](const std::vector<uint8_t>&, int, long long, long long) {
             return say("SSH-2.0-x\r\n\r\n");
         },
         false, 1, 1},
        {"a status no source can use",
         [&](const std::vector<uint8_t>&, int, long long, long long) {
             return say("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
         },
         false, 1, 1},
    };
    for (const Case& c : table) {
        SCOPED_TRACE(c.what);
        FakeDownload download(size);
        ScriptedHttpServer server(
            [&](int i, long long f, long long l) { return c.script(content, i, f, l); });
        std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/file.bin";
        auto source = std::make_unique<HttpSource>(&download, url.c_str());
        ASSERT_TRUE(source->activate());
        ASSERT_TRUE(drive(*source, [] { return false; })) << "the source never finished";
        EXPECT_EQ(c.completes, download.complete());
        if (c.completes) {
            EXPECT_BYTES_EQ(content, download.data);
            EXPECT_EQ(1, download.weight) << "a source with a length adds its weight";
        } else {
            EXPECT_EQ(0u, download.written) << "bytes written from a refused answer";
        }
        EXPECT_EQ(0, download.outside);
        EXPECT_EQ(c.requests, (int)server.requestLines().size());
        EXPECT_EQ(c.connections, server.connectionCount());
        source.reset();
        EXPECT_EQ(0, download.weight) << "weights stay after the source ended";
    }
}

TEST(HttpSource, RedirectsAskForTheNewPlace) {
    std::vector<uint8_t> content = randomBytes(1000, 6);
    FakeDownload download(1000);
    int port = 0;
    ScriptedHttpServer server([&](int i, long long f, long long l) {
        // Its body is read past: the relative location is asked on the same connection.
        if (i == 0)
            return say("HTTP/1.1 302 Found\r\nLocation: /moved\r\nContent-Length: 5\r\n\r\nmoved");
        if (i == 1)
            return say("HTTP/1.1 301 Moved\r\nLocation: http://127.0.0.1:" + std::to_string(port) +
                       "/final\r\n\r\n");
        return serve(content, f, l);
    });
    port = server.port;
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file.bin";
    HttpSource source(&download, url.c_str());
    source.activate();
    ASSERT_TRUE(drive(source, [] { return false; }));
    EXPECT_BYTES_EQ(content, download.data);
    EXPECT_EQ((std::vector<std::string>{"GET /file.bin HTTP/1.1", "GET /moved HTTP/1.1",
                                        "GET /final HTTP/1.1"}),
              server.requestLines());
    EXPECT_EQ("http://127.0.0.1:" + std::to_string(port) + "/final", source.getSourceName());
    EXPECT_EQ(2, server.connectionCount()) << "the absolute location alone needs a new connection";
}

TEST(HttpSource, AStallMidBodyGivesTheRangeBack) {
    const uint32_t size = CRUMB + 10;
    std::vector<uint8_t> content = randomBytes(size, 7);
    FakeDownload download(size);
    ScriptedHttpServer server([&](int i, long long f, long long l) {
        if (i > 0) return serve(content, f, l);
        std::string all = partial(content, f, l);
        ScriptedHttpServer::Answer a{{all.substr(0, all.size() - 1000)}};
        a.stallAfter = true;
        return a;
    });
    std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/f";
    HttpSource source(&download, url.c_str());
    source.activate();
    ASSERT_TRUE(drive(source, [&] { return download.written >= CRUMB - 1000; }));
    EXPECT_TRUE(download.released.empty());
    EXPECT_TRUE(source.tick(HttpSource::STALL_MS / 2));
    EXPECT_TRUE(download.released.empty()) << "a minute of silence is no stall";
    EXPECT_TRUE(source.tick(HttpSource::STALL_MS / 2));
    EXPECT_EQ(std::vector<int>{0}, download.released) << "the unfinished crumb goes back";
    ASSERT_TRUE(drive(source, [] { return false; }));
    EXPECT_BYTES_EQ(content, download.data);
    EXPECT_EQ(2, server.connectionCount());
}

// The download refuses the bytes (its disk is full) and resets the source on the way: the
// source stays idle, asks nothing more until it is started again, and then fetches all.
TEST(HttpSource, RefusedBytesLeaveTheSourceIdle) {
    const uint32_t size = CRUMB + 10;
    std::vector<uint8_t> content = randomBytes(size, 8);
    FakeDownload download(size);
    ScriptedHttpServer server([&](int, long long f, long long l) { return serve(content, f, l); });
    std::string url = "http://127.0.0.1:" + std::to_string(server.port) + "/f";
    HttpSource source(&download, url.c_str());
    int refused = 0;
    download.refuse = [&] {
        refused++;
        source.reset();
    };
    source.activate();
    ASSERT_TRUE(drive(source, [&] { return refused > 0; }));
    for (int i = 0; i < 50; ++i) EXPECT_TRUE(source.tick(10));
    EXPECT_EQ(1, refused);
    EXPECT_EQ(HttpSource::IDLE, source.getState());
    EXPECT_EQ(1, server.connectionCount());
    EXPECT_EQ(0u, download.written);
    download.refuse = nullptr;
    source.activate();
    ASSERT_TRUE(drive(source, [] { return false; }));
    EXPECT_BYTES_EQ(content, download.data);
}

TEST(HttpSource, AClosedPortLeavesNoThreadBehind) {
    int port;
    {
        ScriptedHttpServer closed([](int, long long, long long) { return say(""); });
        port = closed.port;
    }
    int before = i4_live_threads();
    FakeDownload download(1000);
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/f";
    auto source = std::make_unique<HttpSource>(&download, url.c_str());
    source->activate();
    for (int i = 0; i < 20; ++i) source->tick(10);
    EXPECT_EQ(HttpSource::CONNECTING, source->getState());
    EXPECT_EQ(before + 1, i4_live_threads()) << "one connect thread per source";
    // A reset (a pause, a full disk, the client's stop) and a stop (a cancel, the end of the
    // download) end the thread as well, and leave the source idle.
    source->reset();
    EXPECT_EQ(HttpSource::IDLE, source->getState());
    source->activate();
    for (int i = 0; i < 20; ++i) source->tick(10);
    source->stop();
    EXPECT_EQ(HttpSource::IDLE, source->getState());
    EXPECT_TRUE(source->tick(10));
    EXPECT_EQ(HttpSource::IDLE, source->getState());
    source->activate();
    for (int i = 0; i < 20; ++i) source->tick(10);
    // The thread is between attempts: deleting the source ends it there and then.
    source.reset();
    // The thread has stopped; its last return to the platform may trail by a moment. Left
    // alone it would pause 1, 2 and 4 s between attempts: 5 s tell the two apart.
    waitUntil([&] { return i4_live_threads() <= before; }, 5000);
    EXPECT_EQ(before, i4_live_threads());
}

// The client's quit waits for every thread before the downloads are let go: the connect
// threads of web sources end when told, whether connecting or pausing between attempts.
TEST(HttpSource, EveryConnectEndsWhenTheClientQuits) {
    int closedPort;
    {
        ScriptedHttpServer closed([](int, long long, long long) { return say(""); });
        closedPort = closed.port;
    }
    int silent = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(silent, (sockaddr*)&a, sizeof a));
    ASSERT_EQ(0, listen(silent, 0));
    socklen_t n = sizeof a;
    getsockname(silent, (sockaddr*)&a, &n);
    // Fills the backlog, so that the next connect waits for an answer that never comes.
    std::vector<int> queued;
    for (int i = 0; i < 8; ++i) {
        int s = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(s, (sockaddr*)&a, sizeof a);
        queued.push_back(s);
    }
    int before = i4_live_threads();
    FakeDownload download(1000);
    std::vector<std::unique_ptr<HttpSource>> sources;
    for (int port : {closedPort, (int)ntohs(a.sin_port)}) {
        std::string url = "http://127.0.0.1:" + std::to_string(port) + "/f";
        sources.emplace_back(std::make_unique<HttpSource>(&download, url.c_str()));
        sources.back()->activate();
    }
    for (int i = 0; i < 20; ++i)
        for (auto& s : sources) s->tick(10);
    ASSERT_EQ(before + 2, i4_live_threads());
    HttpSocketConnectThread::stopAll();
    // Left alone, the threads would go on for seconds more: pauses of 1, 2 and 4 s, and a
    // connect that waits up to 8 s. 5 s tell the two apart, with room for a loaded machine.
    waitUntil([&] { return i4_live_threads() <= before; }, 5000);
    EXPECT_EQ(before, i4_live_threads());
    sources.clear();  // each source still cancels and deletes its own thread
    for (int s : queued) close(s);
    close(silent);
}

TEST(HttpSource, AServerGoneForGoodLeavesTheSourceIdleWithoutItsRange) {
    FakeDownload download(1000);
    auto server = std::make_unique<ScriptedHttpServer>([](int, long long, long long) {
        return say("HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n");
    });
    std::string url = "http://127.0.0.1:" + std::to_string(server->port) + "/f";
    HttpSource source(&download, url.c_str());
    source.activate();
    ASSERT_TRUE(drive(source, [&] { return source.getState() == HttpSource::WAIT; }));
    server.reset();
    EXPECT_TRUE(download.released.empty()) << "the range is kept through the wait";
    // Every connect is refused now; after the last attempt the source gives the range back.
    ASSERT_TRUE(drive(source, [&] { return source.getState() == HttpSource::IDLE; }));
    EXPECT_EQ(std::vector<int>{0}, download.released);
    EXPECT_TRUE(source.activate());
}

TEST(HttpSource, OnlyHttpAddressesMakeSources) {
    FakeDownload download(1000);
    std::vector<std::unique_ptr<ProtocolInterface>> protocols;
    protocols.emplace_back(new HttpProtocol);
    for (const char* bad : {"ftp://h/f", "HTTP://h/f", "http://", "http://h/a b",
                            "http://h/a\r\nX: 1", "http://h:0/f", "http://h:70000/f"})
        EXPECT_EQ(nullptr, OtherFileSource::find(protocols, &download, bad)) << bad;
    std::unique_ptr<OtherFileSource> s(
        OtherFileSource::find(protocols, &download, "http://127.0.0.1:9/dir/name.bin"));
    ASSERT_NE(nullptr, s);
    EXPECT_STREQ("http://127.0.0.1:9/dir/name.bin", s->getUserName());
    EXPECT_EQ(0, s->getStatus()) << "idle";
    EXPECT_TRUE(s->tryConnect());
    EXPECT_FALSE(s->tryConnect()) << "only an idle source starts";
    s->pause();
    EXPECT_TRUE(s->tryConnect()) << "a pause makes it idle again";
    EXPECT_THROW(HttpSource(nullptr, "http://h/"), i4_err);
}

}  // namespace
