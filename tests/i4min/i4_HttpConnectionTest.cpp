#include <fstream>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

#include "i4min/net/i4_HttpConnection.h"
#include "i4min/net/i4_protocol.h"
#include "net_test_support.h"

using nettest::ScriptedPeer;

namespace {

std::string slurp(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string binary_body(size_t n) {
    std::string b;
    for (size_t i = 0; i < n; i++) b += static_cast<char>(i * 7);
    return b;
}

class HttpFetch : public ::testing::Test {
protected:
    std::string dir = nettest::make_temp_dir();
    std::string target = dir + "/server.met";
    ~HttpFetch() override { nettest::remove_tree(dir); }
};

struct FetchCase {
    const char* what;
    std::string response;  // sent after the request header, then the server closes
    int32_t max_bytes;
    int result;
    int status;
    std::string stored;  // the file's content on success
};

TEST_F(HttpFetch, StoresOnlyAWholeBodyAnsweredWith200) {
    const std::string body = binary_body(5000);
    const FetchCase cases[] = {
        {"200 with length", "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + body, 0, 0, 200,
         body},
        {"200 until close",
         "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + body, 0, 0, 200,
         body},
        {"200 empty", "HTTP/1.0 200 OK\r\ncontent-length: 0\r\n\r\n", 0, 0, 200, ""},
        {"404", "HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", 0, 1, 404, ""},
        {"redirect", "HTTP/1.0 302 Found\r\nLocation: http://127.0.0.1/x\r\n\r\n", 0, 1, 302, ""},
        {"body over the cap", "HTTP/1.0 200 OK\r\n\r\n" + body, 4096, 1, 200, ""},
        {"declared length over the cap", "HTTP/1.0 200 OK\r\nContent-Length: 5000\r\n\r\n" + body,
         4096, 1, 200, ""},
        {"body cut short", "HTTP/1.0 200 OK\r\nContent-Length: 6000\r\n\r\n" + body, 0, 1, 200, ""},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
         0, 1, 200, ""},
        {"not http", "SSH-2.0-OpenSSH\r\n\r\n", 0, 1, 0, ""},
        {"no answer", "", 0, 1, 0, ""},
    };
    for (const FetchCase& c : cases) {
        SCOPED_TRACE(c.what);
        unlink(target.c_str());
        ScriptedPeer server({ScriptedPeer::expect_header(), ScriptedPeer::send(c.response),
                             ScriptedPeer::close_now()});
        i4_HttpConnection conn;
        conn.max_bytes = c.max_bytes;
        conn.timeout_ms = 2000;
        std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/lists/server.met";
        EXPECT_EQ(c.result, i4_http_get_to_file(&conn, url.c_str(), target.c_str()));
        EXPECT_EQ(c.status, conn.status);
        EXPECT_EQ(
            "GET /lists/server.met HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nAccept: */*\r\nConnection: close\r\n\r\n",
            server.received());
        EXPECT_FALSE(nettest::file_exists(target + ".tmp"));
        if (c.result == 0) {
            EXPECT_EQ(c.stored, slurp(target));
        } else {
            EXPECT_FALSE(nettest::file_exists(target));
        }
    }
}

TEST_F(HttpFetch, FailureKeepsTheOlderFile) {
    {
        std::ofstream f(target);
        f << "older list";
    }
    ScriptedPeer server({ScriptedPeer::expect_header(),
                         ScriptedPeer::send("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nhalf"),
                         ScriptedPeer::close_now()});
    i4_HttpConnection conn;
    std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/x";
    EXPECT_EQ(1, i4_http_get_to_file(&conn, url.c_str(), target.c_str()));
    EXPECT_EQ("older list", slurp(target));
}

TEST_F(HttpFetch, UnreachableOrUnusableUrlsFail) {
    const int closed = nettest::free_port();
    const std::string urls[] = {
        "http://127.0.0.1:" + std::to_string(closed) + "/server.met",
        "ftp://127.0.0.1/server.met",
        "http://",
        "not a url",
    };
    for (const std::string& url : urls) {
        SCOPED_TRACE(url);
        i4_HttpConnection conn;
        conn.timeout_ms = 1000;
        EXPECT_EQ(1, i4_http_get_to_file(&conn, url.c_str(), target.c_str()));
        EXPECT_FALSE(nettest::file_exists(target));
        EXPECT_FALSE(nettest::file_exists(target + ".tmp"));
    }
}

TEST_F(HttpFetch, SilentServerFailsWithinTheLimit) {
    // Silent well past the fetch's own 300 ms, then a whole answer: a fetch that waited for
    // it (the connect limit, or for ever) would take the file; one that keeps its limit fails.
    ScriptedPeer server({ScriptedPeer::expect_header(), ScriptedPeer::pause(30000),
                         ScriptedPeer::send("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok")});
    i4_HttpConnection conn;
    conn.timeout_ms = 300;
    std::string url = "http://127.0.0.1:" + std::to_string(server.port()) + "/x";
    EXPECT_EQ(1, i4_http_get_to_file(&conn, url.c_str(), target.c_str()));
    EXPECT_FALSE(nettest::file_exists(target));
}

TEST_F(HttpFetch, CancelEndsAFetchFromASilentServer) {
    // Accepts, reads the request, then holds the connection without a word.
    auto server = std::make_unique<ScriptedPeer>(
        std::vector<ScriptedPeer::Step>{ScriptedPeer::expect_header()});
    i4_HttpConnection conn;
    // Longer than the test's own limit: only the cancel can end this fetch in time.
    conn.timeout_ms = 600000;
    std::string url = "http://127.0.0.1:" + std::to_string(server->port()) + "/x";
    auto fetching = std::async(std::launch::async, [&] {
        return i4_http_get_to_file(&conn, url.c_str(), target.c_str());
    });
    // The request has come: the fetch now waits for the answer.
    EXPECT_NE(std::string::npos, server->received().find("\r\n\r\n"));
    conn.cancel();
    bool ended = fetching.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    // Closing the connection ends a fetch that the cancel did not, so the test ends too.
    if (!ended) server.reset();
    ASSERT_TRUE(ended) << "the fetch still waited a minute after the cancel";
    EXPECT_EQ(1, fetching.get());
    EXPECT_TRUE(conn.cancelled());
    EXPECT_FALSE(nettest::file_exists(target));
    EXPECT_FALSE(nettest::file_exists(target + ".tmp"));
    // A cancelled record fetches nothing more.
    ScriptedPeer other({ScriptedPeer::expect_header(),
                        ScriptedPeer::send("HTTP/1.0 200 OK\r\n\r\nlist"),
                        ScriptedPeer::close_now()});
    std::string again = "http://127.0.0.1:" + std::to_string(other.port()) + "/x";
    EXPECT_EQ(1, i4_http_get_to_file(&conn, again.c_str(), target.c_str()));
    EXPECT_FALSE(nettest::file_exists(target));
}

TEST_F(HttpFetch, CancelEndsAConnectThatGetsNoAnswer) {
    nettest::SilentListener silent;
    if (!silent.is_full()) GTEST_SKIP() << "the kernel kept answering connects";
    i4_HttpConnection conn;
    conn.timeout_ms = 600000;
    std::string url = "http://127.0.0.1:" + std::to_string(silent.port()) + "/x";
    auto fetching = std::async(std::launch::async, [&] {
        return i4_http_get_to_file(&conn, url.c_str(), target.c_str());
    });
    // No answer comes: a short look that the fetch still waits, mostly in its connect by now.
    EXPECT_EQ(std::future_status::timeout, fetching.wait_for(std::chrono::milliseconds(300)));
    conn.cancel();
    ASSERT_EQ(std::future_status::ready, fetching.wait_for(std::chrono::seconds(60)))
        << "the connect still waited a minute after the cancel";
    EXPECT_EQ(1, fetching.get());
    EXPECT_FALSE(nettest::file_exists(target));
}

}  // namespace
