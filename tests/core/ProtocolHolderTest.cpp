#include <gtest/gtest.h>

#include "core/ProtocolHolder.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_string.h"

TEST(ProtocolHolder, KeepsOneProtocolWhoseProxyChanges) {
    ProtocolHolder holder;
    EXPECT_EQ(nullptr, holder.get());

    holder.setProxy(nullptr);
    i4_protocol* first = holder.get();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ((uint32_t)I4_PROXY_DIRECT, first->proxy_type());

    i4_proxy_settings socks;
    socks.type = I4_PROXY_SOCKS5;
    socks.host = i4_strdup("127.0.0.1");
    socks.port = 1080;
    holder.setProxy(&socks);
    // A connect thread may still hold the first pointer: it must stay the one in force.
    EXPECT_EQ(first, holder.get());
    EXPECT_EQ((uint32_t)I4_PROXY_SOCKS5, first->proxy_type());

    // The holder took a copy: the caller's record may go.
    socks.release();
    EXPECT_EQ((uint32_t)I4_PROXY_SOCKS5, first->proxy_type());

    holder.setProxy(nullptr);
    EXPECT_EQ(first, holder.get());
    EXPECT_EQ((uint32_t)I4_PROXY_DIRECT, first->proxy_type());
}

TEST(ProtocolHolder, FirstSettingIsTaken) {
    ProtocolHolder holder;
    i4_proxy_settings http;
    http.type = I4_PROXY_HTTP;
    http.host = i4_strdup("localhost");
    http.port = 3128;
    holder.setProxy(&http);
    ASSERT_NE(nullptr, holder.get());
    EXPECT_EQ((uint32_t)I4_PROXY_HTTP, holder.get()->proxy_type());
}
