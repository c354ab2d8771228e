#include <gtest/gtest.h>

#include "core/CoreOptions.h"
#include "core/DownloadSources.h"
#include "core/NetworkGateway.h"

namespace {

class NoSources : public DownloadSources {
public:
    void findSources(const uint8_t*) override { asked++; }
    int asked = 0;
};

// A gateway that keeps every body the interface gives.
class BareGateway : public NetworkGateway {
public:
    void start() override {}
    void stop() override {}
    DownloadSources* newDownloadSources() override { return new NoSources(); }
    int firewallState() override { return 2; }
};

TEST(NetworkGatewayTest, DefaultBodies) {
    BareGateway gateway;
    EXPECT_FALSE(gateway.requestCallback(nullptr));
    EXPECT_EQ(gateway.addServer(0x0100007F, 4661), 0);
    EXPECT_EQ(gateway.queryFlag(), 1);
    const int notices[] = {0, 1, -7, 100};
    for (int n : notices) EXPECT_EQ(gateway.peerNotice(n), n);
    gateway.fileShared(nullptr);
    gateway.doorPortChanged();
    gateway.addressDiffers();

    DownloadSources* sources = gateway.newDownloadSources();
    sources->tick(1000);
    sources->hook();
    uint8_t hash[16] = {};
    sources->findSources(hash);
    EXPECT_EQ(static_cast<NoSources*>(sources)->asked, 1);
    delete sources;
}

TEST(NetworkGatewayTest, SettingsPassThroughToTheOwnRecord) {
    BareGateway gateway;
    NetworkGateway* saved = theNetworkGateway;
    theNetworkGateway = &gateway;
    theCoreOptions.setDoorPort(4662);
    theCoreOptions.setClientId(0x123456);
    theNetworkGateway->setServer(0x0A00000A, 4242);
    EXPECT_EQ(theCoreOptions.getServerIp(), 0x0A00000Au);
    EXPECT_EQ(theCoreOptions.getServerPort(), 4242);
    EXPECT_EQ(theNetworkGateway->getServerIp(), 0x0A00000Au);
    EXPECT_EQ(theNetworkGateway->getServerPort(), 4242);
    EXPECT_EQ(theNetworkGateway->getDoorPort(), 4662);
    EXPECT_EQ(theNetworkGateway->getClientId(), 0x123456u);
    theNetworkGateway->setServer(0, 0);
    theCoreOptions.setClientId(0);
    theCoreOptions.setDoorPort(0);
    theNetworkGateway = saved;
}

}  // namespace
