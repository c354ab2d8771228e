#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <thread>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "net_test_support.h"

using nettest::loopback;
using nettest::now_ms;

namespace {

TEST(TcpipProtocol, UnansweredConnectGivesUpWhileAnotherConnectsAtOnce) {
    nettest::SilentListener silent;
    ASSERT_TRUE(silent.is_full()) << "could not fill the accept queue";
    nettest::EchoServer live;
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(nullptr));
    std::unique_ptr<i4_tcpip_address> dead_end(loopback(silent.port()));
    std::unique_ptr<i4_tcpip_address> echo(loopback(live.port()));

    // Long enough that the live connect, given the machine's worst load, ends first.
    const int32_t limit = 3000;
    int64_t slow_start = 0, slow_end = 0;
    i4_socket* slow_result = reinterpret_cast<i4_socket*>(1);
    std::thread slow([&] {
        slow_start = now_ms();
        slow_result = prot->connect(dead_end.get(), I4_SOCK_STREAM, 1, limit);
        slow_end = now_ms();
    });
    usleep(30000);  // the slow connect is under way
    std::unique_ptr<i4_socket> fast(prot->connect(echo.get(), I4_SOCK_STREAM, 1, 2000));
    int64_t fast_end = now_ms();
    slow.join();

    ASSERT_TRUE(fast);
    EXPECT_LT(fast_end, slow_end) << "the live connect waited for the unanswered one";
    EXPECT_EQ(nullptr, slow_result);
    EXPECT_GE(slow_end - slow_start, limit - 10);
    // Given up by its own limit, not by the system's, which takes minutes.
    EXPECT_LT(slow_end - slow_start, 30000);

    // The live connection works and came back in blocking mode, ready for the caller's wait.
    EXPECT_EQ(I4_READY_WRITE, fast->wait(I4_READY_WRITE | I4_READY_ERROR, 1000));
    ASSERT_EQ(3, fast->write("abc", 3));
    ASSERT_EQ(I4_READY_READ, fast->wait(I4_READY_READ, 1000) & I4_READY_READ);
    char buf[8];
    EXPECT_EQ(3, fast->read(buf, sizeof buf));
}

TEST(TcpipProtocol, NonBlockingConnectReturnsAtOnce) {
    nettest::EchoServer live;
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(nullptr));
    std::unique_ptr<i4_tcpip_address> echo(loopback(live.port()));
    std::unique_ptr<i4_socket> s(prot->connect(echo.get(), I4_SOCK_STREAM, 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(I4_READY_WRITE, s->wait(I4_READY_WRITE | I4_READY_ERROR, 1000));
}

struct NameCase {
    uint32_t proxy;
    const char* name;
    bool resolves;      // an address comes back at all
    bool carries_name;  // left for the proxy to resolve
    const char* printed;
};

TEST(TcpipProtocol, NamesResolveLocallyUnlessTheProxyResolvesThem) {
    const std::string long_name(256, 'a');
    const NameCase cases[] = {
        {I4_PROXY_DIRECT, "127.0.0.1", true, false, "127.0.0.1"},
        {I4_PROXY_DIRECT, "10.20.30.40", true, false, "10.20.30.40"},
        {I4_PROXY_DIRECT, "localhost", true, false, "127.0.0.1"},
        {I4_PROXY_SOCKS4, "localhost", true, false, "127.0.0.1"},
        {I4_PROXY_SOCKS5, "localhost", true, true, "localhost"},
        {I4_PROXY_HTTP, "files.example.test", true, true, "files.example.test"},
        {I4_PROXY_SOCKS5, "10.20.30.40", true, false, "10.20.30.40"},
        {I4_PROXY_DIRECT, "", false, false, ""},
        {I4_PROXY_DIRECT, long_name.c_str(), false, false, ""},
        {I4_PROXY_SOCKS5, long_name.c_str(), false, false, ""},
    };
    for (const NameCase& c : cases) {
        i4_proxy_settings ps;
        ps.type = c.proxy;
        ps.port = 1080;
        std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(&ps));
        std::unique_ptr<i4_address> a(prot->name_to_address(c.name));
        SCOPED_TRACE(std::string("proxy ") + std::to_string(c.proxy) + " name " + c.name);
        ASSERT_EQ(c.resolves, a != nullptr);
        if (!a) continue;
        i4_tcpip_address* t = dynamic_cast<i4_tcpip_address*>(a.get());
        ASSERT_TRUE(t);
        EXPECT_EQ(c.carries_name, t->host_name() != nullptr);
        test_text_file f;
        a->print(f);
        EXPECT_EQ(c.printed, f.text);
        EXPECT_EQ(0, a->get_port());
    }
}

TEST(TcpipProtocol, ListenReusesAPortLeftInTimeWait) {
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(nullptr));
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    std::unique_ptr<i4_socket> first(prot->listen(0, 0, I4_SOCK_STREAM, any.get()));
    ASSERT_TRUE(first);
    std::unique_ptr<i4_address> at(first->local_address());
    int port = at->get_port();
    {
        std::unique_ptr<i4_socket> c(prot->connect(at.get(), I4_SOCK_STREAM, 1, 1000));
        ASSERT_TRUE(c);
        i4_socket* s = nullptr;
        ASSERT_EQ(1, first->accept(&s));
        delete s;  // the server side closes first and keeps the port in TIME_WAIT
    }
    std::unique_ptr<i4_tcpip_address> same(loopback(port));
    EXPECT_EQ(nullptr, prot->listen(port, 0, I4_SOCK_STREAM, same.get())) << "port taken twice";
    first.reset();
    std::unique_ptr<i4_socket> again(prot->listen(port, 0, I4_SOCK_STREAM, same.get()));
    EXPECT_TRUE(again);
}

TEST(TcpipProtocol, ListeningThroughAProxyIsRefused) {
    i4_proxy_settings ps;
    ps.type = I4_PROXY_SOCKS5;
    ps.port = 1080;
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(&ps));
    std::unique_ptr<i4_tcpip_address> any(loopback(0));
    EXPECT_EQ(nullptr, prot->listen(0, 300, I4_SOCK_STREAM, any.get()));
}

TEST(TcpipProtocol, UnresolvableProxyGivesNoSocket) {
    i4_proxy_settings ps;
    ps.type = I4_PROXY_SOCKS5;
    ps.port = 1080;  // no host at all
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(&ps));
    std::unique_ptr<i4_tcpip_address> to(loopback(9));
    EXPECT_EQ(nullptr, prot->connect(to.get(), I4_SOCK_STREAM, 1, 300));
}

}  // namespace
