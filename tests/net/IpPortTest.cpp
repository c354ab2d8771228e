#include <gtest/gtest.h>

#include "i4min/net/i4_tcpip_address.h"
#include "net/IpPort.h"

TEST(IpPort, TextToIpTable) {
    struct Case {
        const char* text;
        uint32_t ip;
    } cases[] = {
        {"10.0.0.1", 0x0100000Au},
        {"127.0.0.1", 0x0100007Fu},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"0.0.0.0", 0u},
        {"1.2.3.4\n", 0x04030201u},
        {"1.2.3.4 trailing words", 0x04030201u},
        {"1.2.3.4.5", 0x04030201u},
        {" 1.2.3.4", 0x04030201u},
        {"10.0.0", 0u},
        {"10.0.0.", 0u},
        {"", 0u},
        {"a.b.c.d", 0u},
        {"1..2.3", 0u},
        {"1,2,3,4", 0u},
        // An octet out of range is refused, not cut to its low byte.
        {"1.2.3.300", 0u},
        {"256.0.0.1", 0u},
        {"1.2.3.-1", 0u},
        {"1.2.3.99999999999999999999", 0u},
    };
    for (const Case& c : cases) EXPECT_EQ(c.ip, textToIP(c.text)) << '"' << c.text << '"';
    EXPECT_EQ(0u, textToIP(nullptr));
}

TEST(IpPort, IpToTextTable) {
    struct Case {
        uint32_t ip;
        const char* text;
    } cases[] = {
        {0x0100007Fu, "127.0.0.1"},       {0x0100000Au, "10.0.0.1"}, {0u, "0.0.0.0"},
        {0xFFFFFFFFu, "255.255.255.255"}, {0x04030201u, "1.2.3.4"},
    };
    for (const Case& c : cases) {
        i4_string out("old text");
        EXPECT_STREQ(c.text, ipToText(c.ip, out));
        EXPECT_STREQ(c.text, out.c_str());
        EXPECT_EQ(c.ip, textToIP(out.c_str()));
    }
}

TEST(IpPort, AddressToIpTakesTheOctetsInOrder) {
    const uint8_t octets[4] = {192, 168, 7, 1};
    i4_tcpip_address address(octets, 4661);
    EXPECT_EQ(0x0107A8C0u, addressToIP(&address));
    EXPECT_EQ(0u, addressToIP(nullptr));
}

TEST(IpPort, HoldsIpAndPort) {
    IpPort* p = new IpPort(0x0100007Fu, 4661);
    EXPECT_EQ(0x0100007Fu, p->ip);
    EXPECT_EQ(4661u, p->port);
    delete p;
}
