#include <gtest/gtest.h>

#include "i4min/net/i4_split_url.h"
#include "i4min/string/i4_string.h"

namespace {

struct UrlCase {
    const char* url;
    int ok;
    const char* scheme;
    const char* host;
    const char* path;
    const char* file;
    int port;  // the preset 80 stays unless the URL has one
};

TEST(SplitUrl, SplitsIntoSchemeHostPortPathAndFile) {
    const UrlCase cases[] = {
        {"http://h:8080/dir/f", 1, "http", "h", "/dir/f", "f", 8080},
        {"http://files.example.test/list/server.met", 1, "http", "files.example.test",
         "/list/server.met", "server.met", 80},
        {"http://h", 1, "http", "h", "/", "", 80},
        {"http://h:81", 1, "http", "h", "/", "", 81},
        {"http://h/dir/", 1, "http", "h", "/dir/", "", 80},
        {"ftp://h/a", 1, "ftp", "h", "/a", "a", 80},
        {"http://", 0, "", "", "", "", 80},
        {"http://h:/x", 0, "", "", "", "", 80},
        {"http://h:99999/x", 0, "", "", "", "", 80},
        {"http://h:12ab/x", 0, "", "", "", "", 80},
        {"no scheme here", 0, "", "", "", "", 80},
        {":nothing", 0, "", "", "", "", 80},
    };
    for (const UrlCase& c : cases) {
        i4_string scheme, host, path, file;
        int port = 80;
        SCOPED_TRACE(c.url);
        ASSERT_EQ(c.ok, i4_split_url(c.url, &scheme, &host, &path, &file, &port));
        EXPECT_EQ(c.port, port);
        if (!c.ok) continue;
        EXPECT_STREQ(c.scheme, scheme.c_str());
        EXPECT_STREQ(c.host, host.c_str());
        EXPECT_STREQ(c.path, path.c_str());
        EXPECT_STREQ(c.file, file.c_str());
    }
    EXPECT_EQ(0, i4_split_url(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
}

}  // namespace
