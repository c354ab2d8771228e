// The server commands of a controller, against the server side's pool of known servers.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "ControllerTestSupport.h"
#include "core/ProtocolHolder.h"
#include "net/Connector.h"
#include "net/SocketPool.h"
#include "server/ExServerList.h"
#include "server/ServerGateway.h"
#include "server/ServerMeta.h"
#include "server/ServerPool.h"
#include "ui/RemoteController.h"

using namespace remotetest;

namespace {

const uint32_t kIp = 0x0400000A;  // 10.0.0.4
const uint16_t kPort = 4661;

std::string address(uint32_t ip, uint16_t port) {
    return le32(ip) + le16(port);
}

class RemoteControllerTest : public RemoteFixture {
protected:
    RemoteControllerTest() {
        theProtocolHolder.setProxy(nullptr);
        sockets.reset(new SocketPool(testProtocol()));
        connector.reset(new Connector(sockets.get()));
        theServerGateway.start(sockets.get(), connector.get(), nullptr, [] { return (int64_t)0; });
    }
    ~RemoteControllerTest() override {
        MessageRecorder::drainQueue();
        connector.reset();
        sockets.reset();
        theServerGateway.deletePool();
        theServerGateway.resetServerState();
    }
    ServerMeta* listed(uint32_t ip, uint16_t port) {
        ExServerList& servers = theServerGateway.pool()->servers();
        servers.lock();
        ServerMeta* s = servers.findByAddress(ip, port);
        servers.unlock();
        return s;
    }
    bool settle(ControllerEnd& end, uint8_t op, const std::string& payload = "") {
        end.send(op, payload);
        end.send(GUIController::IN_OPTIONS);
        return await(end, GUIController::OUT_OPTIONS);
    }

    std::unique_ptr<SocketPool> sockets;
    std::unique_ptr<Connector> connector;
};

TEST_F(RemoteControllerTest, ServersAreAddedListedGivenPreferencesAndRemoved) {
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    ASSERT_TRUE(settle(end, RemoteController::IN_ADD_SERVER, address(kIp, kPort)));
    ASSERT_TRUE(settle(end, RemoteController::IN_ADD_SERVER, address(0, 0)));
    ServerMeta* s = listed(kIp, kPort);
    ASSERT_NE(nullptr, s);

    std::string list;
    end.send(RemoteController::IN_SERVER_LIST);
    ASSERT_TRUE(await(end, GUIController::OUT_SERVER_LIST, &list));
    Fields f(list);
    ASSERT_EQ(1u, f.u32()) << "the address 0 was not added";
    f.take(16);
    EXPECT_EQ(kIp, f.u32());
    EXPECT_EQ(kPort, f.u16());

    const struct {
        uint8_t sent;
        int32_t kept;
    } prefs[] = {{0xFE, -2}, {1, -2}, {2, 2}, {3, 2}, {0, 0}, {0x80, 0}};
    for (const auto& p : prefs) {
        ASSERT_TRUE(settle(end, RemoteController::IN_SERVER_PREFERENCE,
                           address(kIp, kPort) + (char)p.sent));
        EXPECT_EQ(p.kept, listed(kIp, kPort)->pref) << (int)p.sent;
    }
    // Another port of the same address is another server.
    ASSERT_TRUE(settle(end, RemoteController::IN_REMOVE_SERVER, address(kIp, kPort + 1)));
    EXPECT_NE(nullptr, listed(kIp, kPort));
    ASSERT_TRUE(settle(end, RemoteController::IN_REMOVE_SERVER, address(kIp, kPort)));
    EXPECT_EQ(nullptr, listed(kIp, kPort));
}

TEST_F(RemoteControllerTest, ConnectNamesAListedServerOrAnyAndDisconnectIsQueued) {
    theServerGateway.pool()->addServer(kIp, kPort);
    ControllerEnd& end = open();
    ASSERT_TRUE(login(end));
    MessageRecorder posted({MSG_SERVER_CONNECT, MSG_SERVER_DISCONNECT});
    ASSERT_TRUE(settle(end, RemoteController::IN_CONNECT_SERVER, address(kIp, kPort)));
    ASSERT_TRUE(settle(end, RemoteController::IN_CONNECT_SERVER, address(kIp, kPort + 1)));
    ASSERT_TRUE(settle(end, RemoteController::IN_DISCONNECT_SERVER));
    std::vector<MessageRecorder::Seen>& seen = posted.drain();
    ASSERT_EQ(3u, seen.size());
    EXPECT_EQ(MSG_SERVER_CONNECT, seen[0].id);
    ASSERT_TRUE(seen[0].payload);
    EXPECT_EQ(kIp, seen[0].where.ip);
    EXPECT_EQ(kPort, seen[0].where.port);
    EXPECT_EQ(MSG_SERVER_CONNECT, seen[1].id);
    EXPECT_FALSE(seen[1].payload) << "an unlisted address connects to any server";
    EXPECT_EQ(MSG_SERVER_DISCONNECT, seen[2].id);
}

}  // namespace
