#include <gtest/gtest.h>
#include <string.h>

#include "MetaTestUtil.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"

namespace {

class UserMetaTest : public ::testing::Test {
protected:
    void SetUp() override { initSpecialTags(); }
    CapturedOutput out;
};

const Bytes userHash = {0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,
                        0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F};
const Bytes bobTags = {0x01, 0x00, 0x00, 0x00, 0x02, 0x01, 0x00, 0x01, 0x03, 0x00, 'B', 'o', 'b'};

void fill(UserMeta& u, uint32_t ip, uint16_t port) {
    u.ip = ip;
    u.port = port;
    u.serverIp = 0x0A0B0C0D;
    u.serverPort = 4661;
    memcpy(u.hash, userHash.data(), 16);
    u.setName("Bob");
}

TEST_F(UserMetaTest, DiskAndWireForms) {
    const struct {
        const char* what;
        uint32_t ip;
        uint16_t port;
        Bytes disk;
        Bytes wire;
    } table[] = {
        {"address 192.168.1.4:4662", 0x0401A8C0, 4662,
         Bytes{0xC0, 0xA8, 0x01, 0x04, 0x36, 0x12} + userHash + bobTags,
         userHash + Bytes{0xC0, 0xA8, 0x01, 0x04, 0x36, 0x12} + bobTags},
        {"low id 0x123456 with a port", 0x00123456, 4662,
         Bytes{0, 0, 0, 0, 0, 0} + userHash + bobTags,
         userHash + Bytes{0x56, 0x34, 0x12, 0x00, 0x36, 0x12} + bobTags},
        {"highest low id", 0x00FFFFFF, 1, Bytes{0, 0, 0, 0, 0, 0} + userHash + bobTags,
         userHash + Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x00} + bobTags},
        {"lowest address", 0x01000000, 1,
         Bytes{0x00, 0x00, 0x00, 0x01, 0x01, 0x00} + userHash + bobTags,
         userHash + Bytes{0x00, 0x00, 0x00, 0x01, 0x01, 0x00} + bobTags},
    };
    for (const auto& c : table) {
        UserMeta u;
        fill(u, c.ip, c.port);
        EXPECT_EQ(hex(written([&](i4_file& f) { EXPECT_TRUE(u.toBytes(f)); })), hex(c.disk))
            << c.what;
        EXPECT_EQ(hex(written([&](i4_file& f) { EXPECT_TRUE(u.toNetwork(f)); })), hex(c.wire))
            << c.what;
        EXPECT_EQ(u.size(), (int)c.wire.size()) << c.what;

        UserMeta fromWire;
        ByteReader w(c.wire);
        ASSERT_TRUE(fromWire.fromNetwork(*w)) << c.what;
        EXPECT_EQ(fromWire.ip, c.ip);
        EXPECT_EQ(fromWire.port, c.port);
        EXPECT_STREQ(fromWire.getName(), "Bob");

        // Disk leaves the server fields as they were.
        UserMeta fromDisk;
        fromDisk.serverIp = 99;
        ByteReader d(c.disk);
        ASSERT_TRUE(fromDisk.fromDisk(*d)) << c.what;
        EXPECT_EQ(fromDisk.serverIp, 99u);
        EXPECT_EQ(hex(Bytes(fromDisk.hash, fromDisk.hash + 16)), hex(userHash));
    }
}

TEST_F(UserMetaTest, DamagedRecordsFail) {
    const Bytes cut[] = {{},
                         Bytes{1, 2, 3, 4, 5, 6} + Bytes(userHash.begin(), userHash.begin() + 5),
                         Bytes{1, 2, 3, 4, 5, 6} + userHash + Bytes{0xFF, 0xFF, 0xFF, 0x7F}};
    for (const Bytes& b : cut) {
        UserMeta u;
        ByteReader r(b);
        EXPECT_FALSE(u.fromDisk(*r)) << hex(b);
        ByteReader w(b);
        EXPECT_FALSE(u.fromNetwork(*w)) << hex(b);
    }
}

TEST_F(UserMetaTest, SameUser) {
    const uint8_t zero[16] = {0};
    const struct {
        const char* what;
        uint32_t ip1, sip1;
        uint16_t port1, sport1;
        bool hash1;
        uint32_t ip2, sip2;
        uint16_t port2, sport2;
        bool hash2;
        bool same;
    } table[] = {
        {"same address and port", 0x05000001, 0, 10, 0, false, 0x05000001, 7, 10, 9, false, true},
        {"same address, other port", 0x05000001, 0, 10, 0, false, 0x05000001, 0, 11, 0, false,
         false},
        {"different addresses, zero hashes", 0x05000001, 0, 10, 0, false, 0x05000002, 0, 10, 0,
         false, false},
        {"different addresses, same hash", 0x05000001, 0, 10, 0, true, 0x05000002, 0, 10, 0, true,
         true},
        {"same low id behind different servers", 5, 1, 10, 20, false, 5, 2, 10, 20, false, false},
        {"same low id behind different servers, same hash", 5, 1, 10, 20, true, 5, 2, 10, 20, true,
         true},
        {"same low id behind the same server", 5, 1, 10, 20, false, 5, 1, 10, 20, false, true},
        {"low id, server port differs", 5, 1, 10, 20, false, 5, 1, 10, 21, false, false},
    };
    for (const auto& c : table) {
        UserMeta a, b;
        a.ip = c.ip1, a.serverIp = c.sip1, a.port = c.port1, a.serverPort = c.sport1;
        b.ip = c.ip2, b.serverIp = c.sip2, b.port = c.port2, b.serverPort = c.sport2;
        memcpy(a.hash, c.hash1 ? userHash.data() : zero, 16);
        memcpy(b.hash, c.hash2 ? userHash.data() : zero, 16);
        EXPECT_EQ(a.isSameUser(&b), c.same) << c.what;
    }
    UserMeta a;
    EXPECT_FALSE(a.isSameUser(nullptr));
}

TEST_F(UserMetaTest, CopiesCarryEveryFieldAndTheTrailerFlag) {
    UserMeta u;
    fill(u, 0x05060708, 4662);
    u.trailerValid = 1;
    u.friendStatus = 3;
    UserMeta c(u);
    EXPECT_EQ(c.ip, u.ip);
    EXPECT_EQ(c.serverIp, u.serverIp);
    EXPECT_EQ(c.port, u.port);
    EXPECT_EQ(c.serverPort, u.serverPort);
    EXPECT_EQ(c.trailerValid, 1);
    EXPECT_EQ(c.friendStatus, 3u);
    EXPECT_STREQ(c.getName(), "Bob");
    UserMeta fresh;
    EXPECT_EQ(fresh.trailerValid, 0);
    EXPECT_STREQ(fresh.getName(), "????");
}

TEST_F(UserMetaTest, UserListLookupsAndLowIdChange) {
    UserList list;
    UserMeta* withHash = new UserMeta();
    fill(*withHash, 77, 1);
    withHash->serverIp = 9;
    UserMeta* noHash = new UserMeta();
    noHash->ip = 77;
    noHash->serverIp = 9;
    UserMeta* elsewhere = new UserMeta();
    elsewhere->ip = 77;
    elsewhere->serverIp = 10;
    list.add(withHash);
    list.add(noHash);
    list.add(elsewhere);
    EXPECT_EQ(list.findByHash(userHash.data()), withHash);
    list.forgetLowId(9, 77);
    ASSERT_EQ(list.getList()->count(), 2);
    EXPECT_EQ(withHash->ip, 0u);
    EXPECT_EQ(withHash->serverIp, 0u);
    EXPECT_EQ(elsewhere->ip, 77u);
    Meta* made = list.newMeta();
    EXPECT_NE(dynamic_cast<UserMeta*>(made), nullptr);
    delete made;
    list.deleteAll();
}

TEST_F(UserMetaTest, PrintShowsAddresses) {
    UserMeta u;
    fill(u, 0x0401A8C0, 4662);
    out.lines.clear();
    u.print();
    EXPECT_EQ(out.lines[0], "IP: 192.168.1.4 : 4662\n");
    EXPECT_EQ(out.lines[1], "BIP: 13.12.11.10 : 4661\n");
    EXPECT_EQ(out.lines[2], "ID: 101112131415161718191a1b1c1d1e1f\n");
    EXPECT_EQ(out.lines[3], "Name: Bob\n");
}

}  // namespace
