// Real web servers as HTTP sources of a real download: nginx answering ranges with 206, and
// Python's http.server answering every range with the whole file.
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "../DownloadTestSupport.h"
#include "../ScriptedHttpServer.h"
#include "core/MessageQ.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/FileParts.h"
#include "support/ByteCompare.h"
#include "support/CapturedUI.h"
#include "support/Waiting.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/source/OtherFileSource.h"
#include "transfer/web/HttpProtocol.h"
#include "transfer/web/HttpSource.h"

extern char** environ;

namespace {

int freePort() {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, (sockaddr*)&a, sizeof a);
    socklen_t n = sizeof a;
    getsockname(s, (sockaddr*)&a, &n);
    close(s);
    return ntohs(a.sin_port);
}

bool accepts(int port) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons((uint16_t)port);
    bool ok = connect(s, (sockaddr*)&a, sizeof a) == 0;
    close(s);
    return ok;
}

// A server process the test starts and ends, listening on a loopback port.
class WebServer {
public:
    WebServer(const std::vector<std::string>& args, int p) : port(p) {
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t quiet;
        posix_spawn_file_actions_init(&quiet);
        posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&quiet);
        if (pid > 0) waitUntil([this] { return accepts(port); });
    }
    ~WebServer() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        int status;
        waitpid(pid, &status, 0);
    }
    bool up() { return pid > 0 && accepts(port); }
    pid_t pid = -1;
    int port;
};

void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write((const char*)bytes.data(), (std::streamsize)bytes.size());
}

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f),
                                std::istreambuf_iterator<char>());
}

// A download of the pool whose source is a text posted with message 33, driven by the
// pool's passes, as in the client.
class WebDownload {
public:
    WebDownload() {
        theDLPool.run(500);
        saved.swap(theTransferGateway.protocols);
        theTransferGateway.protocols.emplace_back(new HttpProtocol);
        theMessageQ.setHandler(&theTransferHandler, MSG_ADD_TEXT_SOURCE);
    }
    ~WebDownload() {
        if (d) d->release();
        // What the client's stop does with the downloads.
        theDLPool.removeAll();
        theTransferGateway.protocols.swap(saved);
    }
    void start(const std::vector<uint8_t>& content, const std::string& url) {
        std::unique_ptr<FileMeta> record(recordOf(content, "web.bin", dirs.root.path));
        theDLPool.startDownload(record.get());
        d = theDLPool.findByHash(record->getFileHash());
        ASSERT_NE(nullptr, d);
        auto source = std::make_unique<TextSource>();
        source->text = url.c_str();
        memcpy(source->hash, record->getFileHash(), sizeof source->hash);
        theMessageQ.post(MSG_ADD_TEXT_SOURCE, std::move(source));
        dirs.posted.drain();
        ASSERT_EQ(1, d->getSources()->countNoLock()) << "no source made of " << url;
    }
    // A pass of the pool that says ms passed; work the download hands over is done at once.
    void pass(int ms = 20) {
        theDLPool.run(ms);
        work.runChecks();
        work.runCompletions();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    // True once the whole file is in the incoming directory.
    bool fetch(const std::vector<uint8_t>& content, const std::string& url) {
        start(content, url);
        std::string done = dirs.incoming + "/web.bin";
        return d && passUntil([&] { return fileExists(done); }, [&] { pass(); });
    }
    // Bytes the download still misses.
    uint64_t missing() {
        PartialFile* f = d ? d->getPartialFile() : nullptr;
        return f ? f->bytesIn(0, f->getSize()) : 0;
    }

    CapturedUI ui;
    TransferDirs dirs;
    HeldWork work;
    Download* d = nullptr;
    std::vector<std::unique_ptr<ProtocolInterface>> saved;
};

TEST(WebServers, NginxServesEveryRangeWithin206sOfOnePart) {
    if (access("/usr/sbin/nginx", X_OK) != 0) GTEST_SKIP() << "nginx is not installed";
    WebDownload download;
    std::vector<uint8_t> content = randomBytes(20000001, 11);
    std::string root = download.dirs.root.path;
    mkdir((root + "/www").c_str(), 0755);
    writeFile(root + "/www/file.bin", content);
    int port = freePort();
    std::ofstream conf(root + "/nginx.conf");
    conf << "daemon off; master_process off; pid " << root << "/nginx.pid; error_log " << root
         << "/error.log;\nevents { worker_connections 64; }\nhttp {\n"
         << " log_format ranges '$status $http_range $body_bytes_sent';\n"
         << " access_log " << root << "/access.log ranges;\n"
         << " client_body_temp_path " << root << "/cb; proxy_temp_path " << root << "/px;\n"
         << " fastcgi_temp_path " << root << "/fc; uwsgi_temp_path " << root << "/uw;\n"
         << " scgi_temp_path " << root << "/sc;\n"
         << " server { listen 127.0.0.1:" << port << "; root " << root << "/www; }\n}\n";
    conf.close();
    WebServer nginx(
        {"/usr/sbin/nginx", "-p", root, "-e", root + "/error.log", "-c", root + "/nginx.conf"},
        port);
    ASSERT_TRUE(nginx.up()) << "nginx did not start";
    std::string url = "http://127.0.0.1:" + std::to_string(port) + "/file.bin";
    ASSERT_TRUE(download.fetch(content, url)) << "missing " << download.missing();
    EXPECT_BYTES_EQ(content, readFile(download.dirs.incoming + "/web.bin"));

    std::ifstream log(root + "/access.log");
    std::string line;
    int lines = 0;
    while (std::getline(log, line)) {
        ++lines;
        int status = 0;
        unsigned long long first = 0, last = 0;
        ASSERT_EQ(3, sscanf(line.c_str(), "%d bytes=%llu-%llu", &status, &first, &last)) << line;
        EXPECT_EQ(206, status) << line;
        EXPECT_EQ(first / FileParts::PART_SIZE, last / FileParts::PART_SIZE) << line;
    }
    EXPECT_GT(lines, 0);
}

TEST(WebServers, AServerThatIgnoresRangesGivesSmallFilesWhole) {
    WebDownload small;
    std::string root = small.dirs.root.path;
    mkdir((root + "/www").c_str(), 0755);
    std::vector<uint8_t> fits = randomBytes(5000000, 12);
    std::vector<uint8_t> tooBig = randomBytes(12000000, 13);
    writeFile(root + "/www/fits.bin", fits);
    writeFile(root + "/www/big.bin", tooBig);
    int port = freePort();
    WebServer python({"/usr/bin/python3", "-m", "http.server", std::to_string(port), "--bind",
                      "127.0.0.1", "--directory", root + "/www"},
                     port);
    ASSERT_TRUE(python.up()) << "python3 -m http.server did not start";
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    ASSERT_TRUE(small.fetch(fits, base + "/fits.bin")) << "missing " << small.missing();
    EXPECT_BYTES_EQ(fits, readFile(small.dirs.incoming + "/web.bin"));

    WebDownload big;
    big.start(tooBig, base + "/big.bin");
    // The source asks, sees a 200 for the whole 12,000,000 bytes and is dropped.
    passUntil([&] { return big.d->getSources()->countNoLock() == 0; }, [&] { big.pass(); });
    EXPECT_EQ(0, big.d->getSources()->countNoLock()) << "the source was kept";
    EXPECT_EQ(tooBig.size(), big.missing()) << "bytes written from a refused answer";
}

TEST(WebServers, AStopWhileASourceConnectsToAClosedPortWaitsForNothing) {
    int port = freePort();
    int before = i4_live_threads();
    {
        WebDownload download;
        download.start(randomBytes(1000, 14), "http://127.0.0.1:" + std::to_string(port) + "/f");
        passUntil([&] { return i4_live_threads() != before; }, [&] { download.pass(); });
        ASSERT_EQ(before + 1, i4_live_threads()) << "the source never started connecting";
        // The download ends with the pool as at the client's stop: its source's thread
        // is between two attempts and ends there.
    }
    // Left alone, it would pause for seconds before its next attempt.
    waitUntil([&] { return i4_live_threads() <= before; }, 5000);
    EXPECT_EQ(before, i4_live_threads());
}

// Busy answers only: after the fourth the source gives up and leaves its download, which
// stays in the pool without it, nothing written.
TEST(WebServers, FourBusyAnswersTakeTheSourceOutOfItsDownload) {
    ScriptedHttpServer server([](int, long long, long long) {
        return ScriptedHttpServer::Answer{{"HTTP/1.1 503 Busy\r\nContent-Length: 0\r\n\r\n"}};
    });
    WebDownload busy;
    std::vector<uint8_t> content = randomBytes(1000, 15);
    busy.start(content, "http://127.0.0.1:" + std::to_string(server.port) + "/f");
    LL* sources = busy.d->getSources();
    HttpSource* http =
        static_cast<HttpSource*>(static_cast<OtherFileSource*>(sources->get(0))->getSource());
    // Its waits after a 503 (a minute or two each) pass in a few passes of 30 s.
    passUntil([&] { return sources->countNoLock() == 0; },
              [&] { busy.pass(http->getState() == HttpSource::WAIT ? 30000 : 20); });
    EXPECT_EQ(0, sources->countNoLock()) << "the source stayed";
    EXPECT_EQ(4u, server.requestLines().size());
    EXPECT_EQ(1, theDLPool.count()) << "the download goes on";
    EXPECT_EQ(content.size(), busy.missing()) << "bytes written from a busy answer";
}

}  // namespace
