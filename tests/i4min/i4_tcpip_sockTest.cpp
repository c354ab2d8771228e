#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <memory>
#include <poll.h>
#include <thread>

#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/net/linux_socket_set.h"
#include "net_test_support.h"

using nettest::loopback;
using nettest::now_ms;

namespace {

struct Pair {
    std::unique_ptr<i4_socket> listener, client, server;
};

// A listener, a client connected to it and the accepted server side, all on loopback.
Pair connected_pair(i4_protocol* prot) {
    Pair p;
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    p.listener.reset(prot->listen(0, 0, I4_SOCK_STREAM, any.get()));
    std::unique_ptr<i4_address> at(p.listener->local_address());
    p.client.reset(prot->connect(at.get(), I4_SOCK_STREAM, 1, 2000));
    i4_socket* s = nullptr;
    if (p.client && p.listener->accept(&s)) p.server.reset(s);
    return p;
}

std::string read_some(i4_socket* s, int32_t n) {
    std::string out;
    for (int i = 0; i < 50 && static_cast<int32_t>(out.size()) < n; i++) {
        if (!(s->wait(I4_READY_READ, 1000) & I4_READY_READ)) break;
        char buf[256];
        int32_t r = s->read(buf, n - static_cast<int32_t>(out.size()));
        if (r <= 0) break;
        out.append(buf, static_cast<size_t>(r));
    }
    return out;
}

class SockTest : public ::testing::Test {
protected:
    std::unique_ptr<i4_protocol> prot{i4_create_tcpip_protocol(nullptr)};
};

TEST_F(SockTest, CarriesDataBothWays) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    ASSERT_EQ(5, p.client->write("hello", 5));
    EXPECT_EQ("hello", read_some(p.server.get(), 5));
    ASSERT_EQ(6, p.server->write("world!", 6));
    EXPECT_EQ("world!", read_some(p.client.get(), 6));
}

TEST_F(SockTest, IdleReadIsZeroAndPeerCloseIsMinusOne) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    p.client->set_blocking(0);
    char buf[16];
    EXPECT_EQ(0, p.client->read(buf, sizeof buf));
    p.server.reset();
    EXPECT_EQ(I4_READY_READ, p.client->wait(I4_READY_READ, 1000) & I4_READY_READ);
    EXPECT_EQ(-1, p.client->read(buf, sizeof buf));
}

TEST_F(SockTest, AddressesOfBothEndsMatch) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    std::unique_ptr<i4_address> client_local(p.client->local_address());
    std::unique_ptr<i4_address> server_remote(p.server->remote_address());
    ASSERT_TRUE(server_remote);
    EXPECT_TRUE(client_local->equals(server_remote.get()));
    EXPECT_EQ(client_local->get_port(), server_remote->get_port());
    std::unique_ptr<i4_tcpip_sock> unconnected(new i4_tcpip_sock(I4_SOCK_STREAM));
    EXPECT_EQ(nullptr, unconnected->remote_address());
}

TEST_F(SockTest, RefusedConnectReportsWriteAndError) {
    int port = nettest::free_port();
    std::unique_ptr<i4_tcpip_address> to(loopback(port));
    std::unique_ptr<i4_socket> s(prot->connect(to.get(), I4_SOCK_STREAM, 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(I4_READY_WRITE | I4_READY_ERROR, s->wait(I4_READY_WRITE | I4_READY_ERROR, 1000));
    EXPECT_EQ(nullptr, prot->connect(to.get(), I4_SOCK_STREAM, 1, 1000));
}

TEST_F(SockTest, CancelledAcceptWakesAtOnce) {
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    std::unique_ptr<i4_socket> listener(prot->listen(0, 0, I4_SOCK_STREAM, any.get()));
    ASSERT_TRUE(listener);
    int result = -1;
    std::thread t([&] {
        i4_socket* s = nullptr;
        result = listener->accept(&s);
        delete s;
    });
    usleep(100000);  // most likely blocked in accept by now; either way the cancel must end it
    EXPECT_EQ(1, listener->cancel());
    t.join();
    // An accept has no time-out of its own: only the cancel can have ended it.
    EXPECT_EQ(0, result);

    testing::internal::CaptureStdout();
    i4_socket* s = nullptr;
    EXPECT_EQ(0, listener->accept(&s));
    EXPECT_EQ("accept canceled\n", testing::internal::GetCapturedStdout());
    EXPECT_EQ(0, listener->cancel());
}

TEST_F(SockTest, CancelledWaitWakesAtOnce) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    std::atomic<int64_t> woke{0};
    int result = -1;
    testing::internal::CaptureStdout();
    std::thread t([&] {
        result = p.client->wait(I4_READY_READ, 60000);
        woke = now_ms();
    });
    usleep(100000);
    int64_t cancelled_at = now_ms();
    EXPECT_EQ(1, p.client->cancel());
    t.join();
    EXPECT_EQ(0, result);
    // Well before the wait's own minute: the cancel ended it.
    EXPECT_LT(woke - cancelled_at, 20000);
    EXPECT_EQ(0, p.client->wait(I4_READY_WRITE, 1000));
    EXPECT_EQ("select canceled\nselect canceled\n", testing::internal::GetCapturedStdout());
}

TEST_F(SockTest, StraySignalDoesNotEndAWait) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    struct sigaction sa;
    sigaction(SIGALRM, nullptr, &sa);
    EXPECT_NE(SIG_DFL, sa.sa_handler) << "a cancel's signal would end the process";
    EXPECT_EQ(0, sa.sa_flags & SA_RESTART);
    int result = -1;
    // A minute: the byte ends it long before, however loaded the machine.
    std::thread t([&] { result = p.client->wait(I4_READY_READ, 60000); });
    usleep(50000);
    pthread_kill(t.native_handle(), SIGALRM);  // not a cancel: the wait must go on
    usleep(100000);
    ASSERT_EQ(1, p.server->write("x", 1));
    t.join();
    EXPECT_EQ(I4_READY_READ, result);
}

TEST_F(SockTest, CancelledSocketIsShutDownForThePeer) {
    Pair p = connected_pair(prot.get());
    ASSERT_TRUE(p.server);
    int fd = dynamic_cast<i4_tcpip_sock*>(p.client.get())->descriptor();
    EXPECT_EQ(1, p.client->cancel());
    // The descriptor stays the socket's own until it is deleted, but the peer sees the end.
    EXPECT_EQ("", read_some(p.server.get(), 1));
    EXPECT_EQ(-1, p.client->write("x", 1));
    // Still open, so a socket made meanwhile cannot be given the number that a blocked call
    // of the owner may still use; the destructor closes it.
    EXPECT_NE(-1, fcntl(fd, F_GETFD));
    std::unique_ptr<i4_tcpip_sock> fresh(new i4_tcpip_sock(I4_SOCK_STREAM));
    EXPECT_NE(fd, fresh->descriptor());
    p.client.reset();
    EXPECT_EQ(-1, fcntl(fd, F_GETFD));
}

struct EventCase {
    short revents;
    int flags;
};

TEST(SockFlags, PollEventsMapToReadyFlags) {
    const EventCase cases[] = {
        {0, 0},
        {POLLIN, I4_READY_READ},
        {POLLOUT, I4_READY_WRITE},
        {POLLERR, I4_READY_ERROR},
        {POLLOUT | POLLERR, I4_READY_WRITE | I4_READY_ERROR},
        {POLLIN | POLLHUP, I4_READY_READ},  // read() tells the close
        {POLLHUP, I4_READY_ERROR},
        {POLLOUT | POLLHUP, I4_READY_WRITE | I4_READY_ERROR},
        {POLLNVAL, I4_READY_ERROR},
        {POLLPRI, 0},
    };
    for (const EventCase& c : cases)
        EXPECT_EQ(c.flags, i4_tcpip_sock::flags_from_events(c.revents)) << "revents " << c.revents;
}

TEST_F(SockTest, ReadinessSetReportsOnlyReadyMembers) {
    Pair a = connected_pair(prot.get());
    Pair b = connected_pair(prot.get());
    ASSERT_TRUE(a.server && b.server);
    std::unique_ptr<i4_socket_set> set(prot->create_socket_set());
    a.server->add_to_set(set.get(), I4_READY_READ);
    b.server->add_to_set(set.get(), I4_READY_READ);
    EXPECT_EQ(0, set->wait(0));
    ASSERT_EQ(1, b.client->write("z", 1));
    EXPECT_EQ(1, set->wait(1000));
    EXPECT_EQ(0, a.server->check_set(set.get(), I4_READY_READ));
    EXPECT_EQ(I4_READY_READ, b.server->check_set(set.get(), I4_READY_READ));
    b.server->remove_from_set(set.get());
    EXPECT_EQ(0, b.server->check_set(set.get(), I4_READY_READ));
    EXPECT_EQ(0, set->wait(0));
}

TEST_F(SockTest, SetGrowsPastItsFirstBlock) {
    std::unique_ptr<i4_socket_set> set(prot->create_socket_set());
    std::vector<std::unique_ptr<i4_tcpip_sock>> socks;
    for (int i = 0; i < 70; i++) {
        socks.emplace_back(new i4_tcpip_sock(I4_SOCK_DGRAM));
        socks.back()->add_to_set(set.get(), I4_READY_WRITE);
    }
    // An unbound datagram socket is always writable: every member must be reported.
    EXPECT_EQ(70, set->wait(1000));
    for (auto& s : socks) EXPECT_EQ(I4_READY_WRITE, s->check_set(set.get(), I4_READY_WRITE));
}

TEST_F(SockTest, DeadSocketReportsErrorEvenWhenOnlyReadWasAsked) {
    // A stream socket that never connected polls as hung up: it must not look idle forever.
    std::unique_ptr<i4_tcpip_sock> s(new i4_tcpip_sock(I4_SOCK_STREAM));
    std::unique_ptr<i4_socket_set> set(prot->create_socket_set());
    s->add_to_set(set.get(), I4_READY_READ);
    EXPECT_EQ(1, set->wait(1000));
    EXPECT_EQ(I4_READY_ERROR, s->check_set(set.get(), I4_READY_READ));
    EXPECT_EQ(I4_READY_ERROR, s->wait(I4_READY_READ, 1000));
}

TEST_F(SockTest, DatagramsCarryTheirSender) {
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    std::unique_ptr<i4_socket> a(prot->listen(0, 0, I4_SOCK_DGRAM, any.get()));
    std::unique_ptr<i4_socket> b(prot->listen(0, 0, I4_SOCK_DGRAM, any.get()));
    ASSERT_TRUE(a && b);
    std::unique_ptr<i4_address> at(a->local_address());
    std::unique_ptr<i4_address> bt(b->local_address());
    ASSERT_EQ(4, b->write_to("ping", 4, at.get()));
    ASSERT_EQ(I4_READY_READ, a->wait(I4_READY_READ, 1000));
    char buf[16];
    i4_address* sender = nullptr;
    ASSERT_EQ(4, a->read_from(buf, sizeof buf, &sender));
    std::unique_ptr<i4_address> from(sender);
    EXPECT_EQ(0, memcmp(buf, "ping", 4));
    EXPECT_TRUE(from->equals(bt.get()));
    EXPECT_EQ(bt->get_port(), from->get_port());
}

TEST_F(SockTest, DatagramToClosedPortReportsErrorOnce) {
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    std::unique_ptr<i4_socket> closed(prot->listen(0, 0, I4_SOCK_DGRAM, any.get()));
    std::unique_ptr<i4_address> dead(closed->local_address());
    closed.reset();
    std::unique_ptr<i4_socket> s(prot->listen(0, 0, I4_SOCK_DGRAM, any.get()));
    std::unique_ptr<i4_socket_set> set(prot->create_socket_set());
    s->add_to_set(set.get(), I4_READY_READ | I4_READY_ERROR);
    ASSERT_EQ(3, s->write_to("abc", 3, dead.get()));
    ASSERT_EQ(1, set->wait(1000));
    EXPECT_EQ(I4_READY_ERROR, s->check_set(set.get(), I4_READY_READ | I4_READY_ERROR));
    // The queued error was taken: the next pass is quiet and the socket still works.
    EXPECT_EQ(0, set->wait(200));
    EXPECT_EQ(0, s->check_set(set.get(), I4_READY_READ | I4_READY_ERROR));
    std::unique_ptr<i4_address> self(s->local_address());
    ASSERT_EQ(2, s->write_to("ok", 2, self.get()));
    ASSERT_EQ(1, set->wait(1000));
    EXPECT_EQ(I4_READY_READ, s->check_set(set.get(), I4_READY_READ | I4_READY_ERROR));
}

}  // namespace
