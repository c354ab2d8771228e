#include <gtest/gtest.h>
#include <string>

#include "transfer/web/HttpResponse.h"

namespace {

// Feeds the text in pieces of the given size; *bodyAt is where the body begins.
HttpResponse::Result feed(HttpResponse& r, const std::string& text, size_t piece, size_t* bodyAt) {
    HttpResponse::Result got = HttpResponse::NEED_MORE;
    for (size_t at = 0; at < text.size(); at += piece) {
        size_t n = std::min(piece, text.size() - at);
        int32_t used = 0;
        got = r.add(text.data() + at, (int32_t)n, &used);
        if (got != HttpResponse::NEED_MORE) {
            *bodyAt = at + (size_t)used;
            return got;
        }
    }
    return got;
}

TEST(HttpResponse, HeadsEndAtTheirRealTerminatorWhateverTheReads) {
    const struct {
        const char* what;
        std::string text;
        size_t bodyAt;
    } table[] = {
        {"crlf", "HTTP/1.1 206 Partial\r\nContent-Length: 3\r\n\r\nabc", 43},
        {"bare lf", "HTTP/1.1 206 Partial\nContent-Length: 3\n\nabc", 40},
        {"mixed", "HTTP/1.1 206 Partial\r\nContent-Length: 3\n\r\nabc", 42},
        {"stray line ends before", "\r\n\r\nHTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabc", 42},
        // Only a line end ends a line; the body's first byte is a CR here.
        {"a lone CR in a value", "HTTP/1.1 200 OK\r\nX: a\rb\r\nContent-Length: 1\r\n\r\n\r", 46},
    };
    for (const auto& c : table) {
        for (size_t piece : {(size_t)1, (size_t)2, (size_t)7, c.text.size()}) {
            HttpResponse r;
            size_t bodyAt = 0;
            ASSERT_EQ(HttpResponse::COMPLETE, feed(r, c.text, piece, &bodyAt))
                << c.what << " in pieces of " << piece;
            EXPECT_EQ(c.bodyAt, bodyAt) << c.what << " in pieces of " << piece;
        }
    }
}

TEST(HttpResponse, HeaderNamesMatchWithoutCase) {
    HttpResponse r;
    size_t bodyAt;
    ASSERT_EQ(HttpResponse::COMPLETE,
              feed(r,
                   "HTTP/1.1 206 Partial Content\r\ncontent-LENGTH:  100\r\n"
                   "CONTENT-RANGE: bytes 500-599/20000001\r\nconnection: Keep-Alive, CLOSE\r\n"
                   "location: /elsewhere \r\n\r\n",
                   1000, &bodyAt));
    EXPECT_EQ(206, r.status);
    EXPECT_EQ(100, r.contentLength);
    EXPECT_TRUE(r.hasContentRange);
    EXPECT_EQ(500, r.rangeFirst);
    EXPECT_EQ(599, r.rangeLast);
    EXPECT_EQ(20000001, r.rangeTotal);
    EXPECT_TRUE(r.close);
    EXPECT_FALSE(r.encodedBody);
    EXPECT_EQ("/elsewhere", r.location);
}

TEST(HttpResponse, WhatTheSourceMustNotTrust) {
    const struct {
        const char* what;
        std::string head;
        HttpResponse::Result want;
    } table[] = {
        {"not http", "FTP/1.1 200 OK\r\n\r\n", HttpResponse::BAD},
        {"no code", "HTTP/1.1\r\n\r\n", HttpResponse::BAD},
        {"letters for a code", "HTTP/1.1 2x6 Partial\r\n\r\n", HttpResponse::BAD},
        {"two lengths", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
         HttpResponse::BAD},
        {"negative length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n", HttpResponse::BAD},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n",
         HttpResponse::BAD},
        {"range backwards", "HTTP/1.1 206 P\r\nContent-Range: bytes 9-5/10\r\n\r\n",
         HttpResponse::BAD},
        {"range past its total", "HTTP/1.1 206 P\r\nContent-Range: bytes 0-10/10\r\n\r\n",
         HttpResponse::BAD},
        {"range of another unit", "HTTP/1.1 206 P\r\nContent-Range: items 0-1/10\r\n\r\n",
         HttpResponse::BAD},
        {"folded line", "HTTP/1.1 200 OK\r\nX: a\r\n b\r\n\r\n", HttpResponse::BAD},
        {"line without a colon", "HTTP/1.1 200 OK\r\nnonsense\r\n\r\n", HttpResponse::BAD},
        {"a head that never ends", "HTTP/1.1 200 OK\r\n" + std::string(20000, 'x'),
         HttpResponse::BAD},
        {"a head still coming", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n",
         HttpResponse::NEED_MORE},
    };
    for (const auto& c : table) {
        HttpResponse r;
        size_t bodyAt;
        EXPECT_EQ(c.want, feed(r, c.head, 3, &bodyAt)) << c.what;
    }
    HttpResponse chunked;
    size_t bodyAt;
    ASSERT_EQ(HttpResponse::COMPLETE,
              feed(chunked, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 100, &bodyAt));
    EXPECT_TRUE(chunked.encodedBody);
    EXPECT_EQ(-1, chunked.contentLength);
}

TEST(HttpResponse, AHeadOf16KiBIsTheMostTaken) {
    std::string head = "HTTP/1.1 200 OK\r\nX: ";
    std::string fits =
        head + std::string(HttpResponse::MAX_HEAD - head.size() - 4, 'y') + "\r\n\r\n";
    ASSERT_EQ((size_t)HttpResponse::MAX_HEAD, fits.size());
    HttpResponse r;
    size_t bodyAt;
    EXPECT_EQ(HttpResponse::COMPLETE, feed(r, fits + "body", 4096, &bodyAt));
    EXPECT_EQ(fits.size(), bodyAt);
    HttpResponse over;
    std::string tooLong =
        head + std::string(HttpResponse::MAX_HEAD - head.size() - 3, 'y') + "\r\n\r\n";
    EXPECT_EQ(HttpResponse::BAD, feed(over, tooLong, 4096, &bodyAt));
}

}  // namespace
