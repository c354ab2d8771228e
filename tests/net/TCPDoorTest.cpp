#include <arpa/inet.h>
#include <cerrno>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>

#include "NetTestSupport.h"
#include "core/ProtocolHolder.h"
#include "i4min/net/i4_address.h"
#include "net/STSocketPool.h"
#include "net/TCPConnection.h"
#include "net/TCPDoor.h"

namespace {

struct DoorRecord {
    int created = 0;
    bool deleted = false;
};

struct TestDoor : TCPDoor {
    TestDoor(DoorRecord& r, int port) : TCPDoor(port), rec(r) {}
    ~TestDoor() override { rec.deleted = true; }
    bool acceptAllowed() override { return allow; }
    Connection* createConnection(i4_socket* accepted) override {
        if (!make) return nullptr;
        rec.created++;
        return new TCPConnection(accepted, 0xE3);
    }
    int boundPort() {
        i4_address* a = getSocket()->local_address();
        int p = a->get_port();
        delete a;
        return p;
    }
    DoorRecord& rec;
    bool allow = true;
    bool make = true;
};

// A blocking client connected to the loopback port; -1 when the connect failed.
int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons((uint16_t)port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, (sockaddr*)&sa, sizeof sa) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// True when the far side closed the connection within two seconds.
bool closedByPeer(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) != 1) return false;
    char c;
    ssize_t n = recv(fd, &c, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

struct DoorFixture : ::testing::Test {
    DoorFixture() : pool(testProtocol(), nullptr), door(new TestDoor(rec, 0)) {}
    ~DoorFixture() override {
        for (int fd : clients) close(fd);
    }
    int openAndAdd() {
        EXPECT_TRUE(door->open(testProtocol(), 1000));
        int port = door->boundPort();
        pool.add(door);
        pool.processPending();
        return port;
    }
    STSocketPool pool;
    DoorRecord rec;
    TestDoor* door;
    std::vector<int> clients;
};

}  // namespace

using TCPDoorTest = DoorFixture;

TEST_F(TCPDoorTest, TenConnectsAreAcceptedOnePerPass) {
    int port = openAndAdd();
    for (int i = 0; i < 10; i++) {
        clients.push_back(connectTo(port));
        ASSERT_GE(clients.back(), 0);
    }
    for (int pass = 1; pass <= 11; pass++) {
        pool.run(10);
        EXPECT_EQ(pass <= 10 ? pass : 10, rec.created) << pass;
    }
    // The door and the ten connections it handed over.
    EXPECT_EQ(11, pool.activeCount());
    i4_string text;
    EXPECT_STREQ("TCPDoor", door->describe(text));
}

TEST_F(TCPDoorTest, RefusedConnectionsAreClosedAndTheDoorStaysOpen) {
    int port = openAndAdd();
    // Refused by the door, then by a subclass that makes no connection of it.
    for (int i = 0; i < 2; i++) {
        SCOPED_TRACE(i);
        door->allow = i != 0;
        door->make = i != 1;
        int fd = connectTo(port);
        ASSERT_GE(fd, 0);
        clients.push_back(fd);
        pool.run(10);
        EXPECT_EQ(0, rec.created);
        EXPECT_TRUE(closedByPeer(fd));
        EXPECT_EQ(1, pool.activeCount());
    }
    door->allow = true;
    door->make = true;
    clients.push_back(connectTo(port));
    pool.run(10);
    EXPECT_EQ(1, rec.created);
}

TEST_F(TCPDoorTest, SecondOpenKeepsTheFirstSocket) {
    theProtocolHolder.setProxy(nullptr);
    ASSERT_TRUE(door->open(1000));
    i4_socket* first = door->getSocket();
    EXPECT_FALSE(door->open(testProtocol(), 1000));
    EXPECT_EQ(first, door->getSocket());
    pool.add(door);
}

TEST_F(TCPDoorTest, FailedOpenThenRemovalOnlyDeletes) {
    TCPDoor* slot = door;
    door->setOwnerSlot(&slot);
    EXPECT_FALSE(door->open(nullptr, 1000));
    EXPECT_EQ(nullptr, door->getSocket());
    pool.remove(door);
    pool.processPending();
    EXPECT_TRUE(rec.deleted);
    EXPECT_EQ(nullptr, slot);
}

TEST_F(TCPDoorTest, DoorThatFailsRemovesItselfAndClearsItsOwnersPointer) {
    // A socket that never listened reports a hang-up, which is the error flag.
    door->setSocket(new i4_tcpip_sock(I4_SOCK_STREAM));
    TCPDoor* slot = door;
    door->setOwnerSlot(&slot);
    pool.add(door);
    pool.processPending();
    pool.run(10);
    EXPECT_EQ(nullptr, slot);
    EXPECT_TRUE(rec.deleted);
    EXPECT_EQ(0, pool.activeCount());
}
