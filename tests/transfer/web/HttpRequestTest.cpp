#include <gtest/gtest.h>
#include <string>

#include "transfer/web/HttpRequest.h"

namespace {

TEST(HttpRequest, OneRangeOverAKeptConnection) {
    std::string out;
    ASSERT_TRUE(HttpRequest::build("/files/a.bin", "example.org", 80, 100, 200, out));
    EXPECT_EQ(
        "GET /files/a.bin HTTP/1.1\r\nHost: example.org\r\nConnection: Keep-Alive\r\n"
        "Range: bytes=100-199\r\n\r\n",
        out);
    ASSERT_TRUE(HttpRequest::build("/", "127.0.0.1", 8080, 0, 4294967295u, out));
    EXPECT_EQ(
        "GET / HTTP/1.1\r\nHost: 127.0.0.1:8080\r\nConnection: Keep-Alive\r\n"
        "Range: bytes=0-4294967294\r\n\r\n",
        out);
    EXPECT_FALSE(HttpRequest::build("/", "h", 80, 5, 5, out)) << "an empty range";
    EXPECT_TRUE(out.empty());
}

TEST(HttpRequest, ALongRequestFailsWhole) {
    std::string out;
    ASSERT_TRUE(HttpRequest::build("/", "h", 80, 0, 10, out));
    size_t fixed = out.size() - 1;
    std::string path = "/" + std::string(HttpRequest::MAX_TEXT - fixed - 1, 'p');
    ASSERT_TRUE(HttpRequest::build(path.c_str(), "h", 80, 0, 10, out));
    EXPECT_EQ((size_t)HttpRequest::MAX_TEXT, out.size());
    path += "p";
    EXPECT_FALSE(HttpRequest::build(path.c_str(), "h", 80, 0, 10, out));
    EXPECT_TRUE(out.empty()) << "nothing cut is kept";
}

TEST(HttpRequest, UrlsThatWouldBreakTheRequestAreRefused) {
    for (const char* bad :
         {"http://h/a b", "http://h/a\r\nX: y", "http://h/a\n", "http://h/\t", "http://h/\x7f", ""})
        EXPECT_FALSE(HttpRequest::usableUrl(bad)) << bad;
    EXPECT_TRUE(HttpRequest::usableUrl("http://h:81/a%20b?x=1"));
    std::string out;
    EXPECT_FALSE(HttpRequest::build("/a\r\nEvil: 1", "h", 80, 0, 1, out));
    EXPECT_FALSE(HttpRequest::build("/a", "h\r\nEvil: 1", 80, 0, 1, out));
}

}  // namespace
