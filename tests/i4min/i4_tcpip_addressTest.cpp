#include <gtest/gtest.h>
#include <memory>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_tcpip_address.h"
#include "net_test_support.h"

namespace {

TEST(TcpipAddress, PrintsWritesAndComparesTheOctetsOnly) {
    const uint8_t o[4] = {192, 168, 1, 200};
    i4_tcpip_address a(o, 4661);
    i4_tcpip_address b(o, 4662);
    const uint8_t other[4] = {192, 168, 1, 201};
    i4_tcpip_address c(other, 4661);
    EXPECT_TRUE(a.equals(&b));
    EXPECT_FALSE(a.equals(&c));
    EXPECT_EQ(4661, a.get_port());
    EXPECT_EQ(htons(4661), a.sockaddr().sin_port);

    test_text_file printed, written;
    a.print(printed);
    a.write(written);
    EXPECT_EQ("192.168.1.200", printed.text);
    EXPECT_EQ(std::string("\xc0\xa8\x01\xc8", 4), written.text);

    std::unique_ptr<i4_address> copy(a.copy());
    EXPECT_TRUE(copy->equals(&a));
    EXPECT_EQ(4661, copy->get_port());
}

TEST(TcpipAddress, ProxyAddressPrintsAndCopiesItsName) {
    i4_proxy_address p("files.example.test", 80);
    test_text_file printed, name;
    p.print(printed);
    EXPECT_EQ(1, p.print_name(name));
    EXPECT_EQ("files.example.test", printed.text);
    EXPECT_EQ("files.example.test", name.text);
    std::unique_ptr<i4_address> copy(p.copy());
    i4_tcpip_address* t = dynamic_cast<i4_tcpip_address*>(copy.get());
    ASSERT_TRUE(t && t->host_name());
    EXPECT_STREQ("files.example.test", t->host_name());
    EXPECT_EQ(80, copy->get_port());
}

}  // namespace
