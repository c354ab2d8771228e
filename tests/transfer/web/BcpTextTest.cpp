#include <gtest/gtest.h>
#include <string.h>

#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "transfer/web/BcpText.h"
#include "util/UniqueID.h"

namespace {

const char HASH[] = "0123456789abcdefFEDCBA9876543210";

TEST(BcpText, BothForms) {
    uint8_t hash[16];
    ASSERT_TRUE(UniqueID::fromHex(hash, HASH));
    UserMeta low;
    ASSERT_TRUE(BcpText::parse((std::string("bcp://") + HASH + ":10.0.0.1:4661").c_str(), &low));
    EXPECT_EQ(0, memcmp(low.hash, hash, 16));
    EXPECT_EQ(textToIP("10.0.0.1"), low.serverIp);
    EXPECT_EQ(4661, low.serverPort);
    EXPECT_EQ(0u, low.ip) << "reached through its server";
    EXPECT_EQ(0, low.port);

    UserMeta direct;
    ASSERT_TRUE(BcpText::parse("bcp://10.0.0.2:4662", &direct));
    EXPECT_EQ(textToIP("10.0.0.2"), direct.ip);
    EXPECT_EQ(4662, direct.port);
    EXPECT_EQ(0u, direct.serverIp);

    UserMeta skipped;
    EXPECT_TRUE(BcpText::parse("bcp://:10.0.0.2::4662:", &skipped)) << "empty fields are skipped";
    EXPECT_EQ(textToIP("10.0.0.2"), skipped.ip);
}

TEST(BcpText, MalformedTextsNameNobody) {
    const std::string h = HASH;
    const char* const bad[] = {
        "bcp",
        "bcp:",
        "bcp://",
        "bcp:xx10.0.0.2:4662",
        "BCP://10.0.0.2:4662",
        "bcp://10.0.0.2",
        "bcp://10.0.0.2:0",
        "bcp://10.0.0.2:65536",
        "bcp://10.0.0.2:46x2",
        "bcp://10.0.0.2:-1",
        "bcp://10.0.0.256:4662",
        "bcp://10.0.0:4662",
        "bcp://10.0.0.2.5:4662",
        "bcp://host.example:4662",
        "bcp://5.0.0.0:4662",
    };
    for (const char* text : bad) {
        UserMeta u;
        u.ip = 77;
        EXPECT_FALSE(BcpText::parse(text, &u)) << text;
        EXPECT_EQ(77u, u.ip) << text << ": the user changed";
    }
    for (const std::string& text :
         {"bcp://" + h.substr(1) + ":10.0.0.1:4661", "bcp://" + h + "0:10.0.0.1:4661",
          "bcp://" + h.substr(1) + "g:10.0.0.1:4661", "bcp://" + h + ":10.0.0.1:0",
          "bcp://" + h + ":10.0.1:4661"}) {
        UserMeta u;
        EXPECT_FALSE(BcpText::parse(text.c_str(), &u)) << text;
    }
    EXPECT_TRUE(BcpText::isBcp("bcp:whatever"));
    EXPECT_FALSE(BcpText::isBcp("http://h/"));
}

}  // namespace
