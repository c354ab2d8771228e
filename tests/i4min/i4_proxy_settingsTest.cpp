#include <gtest/gtest.h>
#include <memory>

#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/string/i4_string.h"

namespace {

i4_proxy_settings* make(uint32_t type, const char* host, int port, const char* user,
                        const char* pw) {
    i4_proxy_settings* s = i4_default_proxy_settings();
    s->type = type;
    s->host = i4_strdup(host);
    s->port = port;
    s->user = i4_strdup(user);
    s->password = i4_strdup(pw);
    return s;
}

struct EqualsCase {
    const char* what;
    uint32_t type;
    const char* host;
    int port;
    const char* user;
    const char* pw;
    bool equal;  // to SOCKS5 proxy.test:1080 user u password p
};

TEST(ProxySettings, EqualsComparesEveryFieldUnlessBothAreDirect) {
    std::unique_ptr<i4_proxy_settings> base(make(I4_PROXY_SOCKS5, "proxy.test", 1080, "u", "p"));
    const EqualsCase cases[] = {
        {"same", I4_PROXY_SOCKS5, "proxy.test", 1080, "u", "p", true},
        {"type", I4_PROXY_HTTP, "proxy.test", 1080, "u", "p", false},
        {"host", I4_PROXY_SOCKS5, "other.test", 1080, "u", "p", false},
        {"port", I4_PROXY_SOCKS5, "proxy.test", 1081, "u", "p", false},
        {"user", I4_PROXY_SOCKS5, "proxy.test", 1080, "v", "p", false},
        {"password", I4_PROXY_SOCKS5, "proxy.test", 1080, "u", "q", false},
        {"null password", I4_PROXY_SOCKS5, "proxy.test", 1080, "u", nullptr, false},
        {"empty user", I4_PROXY_SOCKS5, "proxy.test", 1080, "", "p", false},
    };
    for (const EqualsCase& c : cases) {
        std::unique_ptr<i4_proxy_settings> s(make(c.type, c.host, c.port, c.user, c.pw));
        EXPECT_EQ(c.equal, i4_proxy_settings::equals(base.get(), s.get())) << c.what;
    }
    // Direct records are equal whatever else they hold, and a missing record is direct.
    std::unique_ptr<i4_proxy_settings> d1(make(I4_PROXY_DIRECT, "a", 1, "x", "y"));
    std::unique_ptr<i4_proxy_settings> d2(i4_default_proxy_settings());
    EXPECT_TRUE(i4_proxy_settings::equals(d1.get(), d2.get()));
    EXPECT_TRUE(i4_proxy_settings::equals(nullptr, d2.get()));
    EXPECT_FALSE(i4_proxy_settings::equals(nullptr, base.get()));
}

TEST(ProxySettings, CopyOwnsItsTextsAndAddress) {
    std::unique_ptr<i4_proxy_settings> s(make(I4_PROXY_HTTP, "proxy.test", 3128, "u", "p"));
    const uint8_t o[4] = {127, 0, 0, 1};
    s->address = new i4_tcpip_address(o, 3128);
    std::unique_ptr<i4_proxy_settings> c(s->copy());
    EXPECT_NE(s->host, c->host);
    EXPECT_TRUE(i4_proxy_settings::equals(s.get(), c.get()));
    ASSERT_TRUE(c->address);
    EXPECT_NE(s->address, c->address);
    EXPECT_TRUE(c->address->equals(s->address));
    s->release();
    EXPECT_EQ(nullptr, s->host);
    EXPECT_EQ(nullptr, s->address);
    EXPECT_STREQ("proxy.test", c->host);
}

}  // namespace
