// Handshakes against a scripted proxy that pins the bytes each kind sends.
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_proxy_sock.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/string/i4_string.h"
#include "net_test_support.h"

using nettest::ScriptedPeer;
using Step = ScriptedPeer::Step;

namespace {

std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

const char* const kName = "peer.example.test";  // 17 characters, never looked up
const int kTargetPort = 4661;                   // 0x12 0x35

std::string http_request(const std::string& target, const std::string& host, const char* auth) {
    std::string r = "CONNECT " + target +
                    " HTTP/1.0\r\n"
                    "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)\r\n"
                    "Host: " +
                    host +
                    "\r\n"
                    "Content-Length: 0\r\n"
                    "Proxy-Connection: Keep-Alive\r\n"
                    "Pragma: no-cache\r\n";
    if (auth) r += std::string("Proxy-authorization: Basic ") + auth + "\r\n";
    return r + "\r\n";
}

struct HandshakeCase {
    const char* what;
    uint32_t type;
    const char* user;
    const char* password;
    bool by_name;  // the target carries a host name instead of 127.0.0.1
    std::vector<Step> script;
    std::string request;  // everything the proxy must have received
    bool connects;
};

struct Result {
    bool connected = false;
    std::string tunnel;
    std::string sent;
};

i4_proxy_settings* settings_for(uint32_t type, int port, const char* user, const char* pw) {
    i4_proxy_settings* s = i4_default_proxy_settings();
    s->type = type;
    s->host = i4_strdup("127.0.0.1");
    s->port = port;
    s->user = i4_strdup(user);
    s->password = i4_strdup(pw);
    return s;
}

i4_tcpip_address* target_for(bool by_name) {
    if (by_name) return new i4_proxy_address(kName, kTargetPort);
    return nettest::loopback(kTargetPort);
}

// Reads what arrives through the tunnel: exactly the bytes the proxy sent after its reply.
std::string read_tunnel(i4_socket* s, size_t n) {
    std::string out;
    for (int i = 0; i < 20 && out.size() < n; i++) {
        if (!(s->wait(I4_READY_READ, 1000) & I4_READY_READ)) break;
        char buf[64];
        int32_t r = s->read(buf, sizeof buf);
        if (r <= 0) break;
        out.append(buf, static_cast<size_t>(r));
    }
    return out;
}

Result run(const HandshakeCase& c, int32_t limit) {
    ScriptedPeer peer(c.script);
    std::unique_ptr<i4_proxy_settings> ps(settings_for(c.type, peer.port(), c.user, c.password));
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(ps.get()));
    std::unique_ptr<i4_tcpip_address> target(target_for(c.by_name));
    std::unique_ptr<i4_socket> s(prot->connect(target.get(), I4_SOCK_STREAM, 1, limit));
    Result r;
    r.connected = s != nullptr;
    if (s) r.tunnel = read_tunnel(s.get(), 6);
    r.sent = peer.received();
    return r;
}

const std::string kReq4 = B({4, 1, 0x12, 0x35, 127, 0, 0, 1, 0});
const std::string kReq4a = B({4, 1, 0x12, 0x35, 0, 0, 0, 1, 0}) + kName + B({0});
const std::string kGreeting = B({5, 2, 0, 2});
const std::string kReq5 = B({5, 1, 0, 1, 127, 0, 0, 1, 0x12, 0x35});
const std::string kReq5Name = B({5, 1, 0, 3, 17}) + kName + B({0x12, 0x35});
const std::string kAuth = B({1, 6}) + "tvuser" + B({6}) + "s3cret";
const std::string kReply4 = B({0, 90, 0x12, 0x35, 10, 0, 0, 7});
const std::string kReply5 = B({5, 0, 0, 1, 10, 0, 0, 7, 0x12, 0x35});

std::vector<HandshakeCase> cases() {
    const std::string http_ip = http_request("127.0.0.1:4661", "127.0.0.1", nullptr);
    const std::string http_name =
        http_request(std::string(kName) + ":4661", kName, "dHZ1c2VyOnMzY3JldA==");
    return {
        {"socks4 by address",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(9), ScriptedPeer::send(kReply4 + "TUNNEL")},
         kReq4,
         true},
        {"socks4a by name",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         true,
         {ScriptedPeer::expect(27), ScriptedPeer::send(kReply4 + "TUNNEL")},
         kReq4a,
         true},
        {"socks4 reply in pieces",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(9), ScriptedPeer::send(kReply4.substr(0, 3)),
          ScriptedPeer::pause(60), ScriptedPeer::send(kReply4.substr(3) + "TUNNEL")},
         kReq4,
         true},
        {"socks4 refused",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(9), ScriptedPeer::send(B({0, 91, 0, 0, 0, 0, 0, 0}) + "TUNNEL")},
         kReq4,
         false},
        {"socks4 malformed reply",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(9), ScriptedPeer::send(B({7, 90, 0, 0, 0, 0, 0, 0}) + "TUNNEL")},
         kReq4,
         false},
        {"socks4 closes mid-reply",
         I4_PROXY_SOCKS4,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(9), ScriptedPeer::send(B({0, 90, 0})), ScriptedPeer::close_now()},
         kReq4,
         false},

        {"socks5 without authentication",
         I4_PROXY_SOCKS5,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0})), ScriptedPeer::expect(10),
          ScriptedPeer::send(kReply5 + "TUNNEL")},
         kGreeting + kReq5,
         true},
        {"socks5 with user and password, reply in pieces",
         I4_PROXY_SOCKS5,
         "tvuser",
         "s3cret",
         true,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 2})), ScriptedPeer::expect(15),
          ScriptedPeer::send(B({1, 0})), ScriptedPeer::expect(24),
          ScriptedPeer::send(kReply5.substr(0, 2)), ScriptedPeer::pause(60),
          ScriptedPeer::send(kReply5.substr(2, 5)), ScriptedPeer::pause(60),
          ScriptedPeer::send(kReply5.substr(7) + "TUNNEL")},
         kGreeting + kAuth + kReq5Name,
         true},
        {"socks5 no acceptable method",
         I4_PROXY_SOCKS5,
         "tvuser",
         "s3cret",
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0xff}))},
         kGreeting,
         false},
        {"socks5 wrong version",
         I4_PROXY_SOCKS5,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({4, 0}))},
         kGreeting,
         false},
        {"socks5 credentials refused",
         I4_PROXY_SOCKS5,
         "tvuser",
         "s3cret",
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 2})), ScriptedPeer::expect(15),
          ScriptedPeer::send(B({1, 1}))},
         kGreeting + kAuth,
         false},
        {"socks5 asks for a password that is not set",
         I4_PROXY_SOCKS5,
         "tvuser",
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 2}))},
         kGreeting,
         false},
        {"socks5 connect refused",
         I4_PROXY_SOCKS5,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0})), ScriptedPeer::expect(10),
          ScriptedPeer::send(B({5, 5, 0, 1, 0, 0, 0, 0, 0, 0}) + "TUNNEL")},
         kGreeting + kReq5,
         false},
        {"socks5 reply with a name",
         I4_PROXY_SOCKS5,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0})), ScriptedPeer::expect(10),
          ScriptedPeer::send(B({5, 0, 0, 3, 1, 'x', 0x12, 0x35}) + "TUNNEL")},
         kGreeting + kReq5,
         false},
        {"socks5 closes mid-reply",
         I4_PROXY_SOCKS5,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0})), ScriptedPeer::expect(10),
          ScriptedPeer::send(kReply5.substr(0, 6)), ScriptedPeer::close_now()},
         kGreeting + kReq5,
         false},

        {"http by address",
         I4_PROXY_HTTP,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect_header(),
          ScriptedPeer::send("HTTP/1.0 200 Connection established\r\n\r\nTUNNEL")},
         http_ip,
         true},
        {"http by name with basic authorisation, reply in pieces",
         I4_PROXY_HTTP,
         "tvuser",
         "s3cret",
         true,
         {ScriptedPeer::expect_header(), ScriptedPeer::send("HTTP/1.1 200 OK\r\nProxy-agent: t"),
          ScriptedPeer::pause(60), ScriptedPeer::send("\r\n\r\nTUNNEL")},
         http_name,
         true},
        {"http forbidden",
         I4_PROXY_HTTP,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect_header(),
          ScriptedPeer::send("HTTP/1.0 403 Forbidden\r\n\r\nTUNNEL")},
         http_ip,
         false},
        {"http not http",
         I4_PROXY_HTTP,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect_header(), ScriptedPeer::send("SSH-2.0-x 200\r\n\r\n")},
         http_ip,
         false},
        {"http header without end",
         I4_PROXY_HTTP,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect_header(),
          ScriptedPeer::send("HTTP/1.0 200 OK\r\nX: " + std::string(1100, 'a'))},
         http_ip,
         false},
        {"http closes before the empty line",
         I4_PROXY_HTTP,
         nullptr,
         nullptr,
         false,
         {ScriptedPeer::expect_header(), ScriptedPeer::send("HTTP/1.0 200 OK\r\n"),
          ScriptedPeer::close_now()},
         http_ip,
         false},
    };
}

TEST(ProxySock, HandshakesSendExactBytesAndPassOnlyTunnelBytes) {
    for (const HandshakeCase& c : cases()) {
        SCOPED_TRACE(c.what);
        Result r = run(c, 2000);
        EXPECT_EQ(c.request, r.sent);
        EXPECT_EQ(c.connects, r.connected);
        if (c.connects) {
            EXPECT_EQ("TUNNEL", r.tunnel);
        }
    }
}

TEST(ProxySock, OverlongUserFailsBeforeCredentialsAreSent) {
    const std::string user(256, 'u');
    HandshakeCase c{"user of 256 bytes",
                    I4_PROXY_SOCKS5,
                    user.c_str(),
                    "pw",
                    false,
                    {ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 2}))},
                    kGreeting,
                    false};
    Result r = run(c, 2000);
    EXPECT_FALSE(r.connected);
    EXPECT_EQ(kGreeting, r.sent);
}

TEST(ProxySock, SilentProxyGivesUpWithinTheLimit) {
    // Silent well past the connect's own 300 ms, then a whole handshake: a connect that
    // waited for it (or for ever) would get its tunnel; one that keeps its limit fails.
    ScriptedPeer peer({ScriptedPeer::expect(4), ScriptedPeer::pause(30000),
                       ScriptedPeer::send(B({5, 0})), ScriptedPeer::expect(10),
                       ScriptedPeer::send(kReply5 + "TUNNEL")});
    std::unique_ptr<i4_proxy_settings> ps(
        settings_for(I4_PROXY_SOCKS5, peer.port(), nullptr, nullptr));
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(ps.get()));
    std::unique_ptr<i4_tcpip_address> target(target_for(false));
    std::unique_ptr<i4_socket> s(prot->connect(target.get(), I4_SOCK_STREAM, 1, 300));
    EXPECT_EQ(nullptr, s);
    EXPECT_TRUE(peer.receives(kGreeting));
}

TEST(ProxySock, NonBlockingConnectRunsTheHandshakeInItsFirstWait) {
    ScriptedPeer peer({ScriptedPeer::expect(4), ScriptedPeer::send(B({5, 0})),
                       ScriptedPeer::expect(10), ScriptedPeer::send(kReply5 + "TUNNEL")});
    std::unique_ptr<i4_proxy_settings> ps(
        settings_for(I4_PROXY_SOCKS5, peer.port(), nullptr, nullptr));
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(ps.get()));
    std::unique_ptr<i4_tcpip_address> target(target_for(false));
    std::unique_ptr<i4_socket> s(prot->connect(target.get(), I4_SOCK_STREAM, 0));
    ASSERT_TRUE(s);
    i4_proxy_sock* p = dynamic_cast<i4_proxy_sock*>(s.get());
    ASSERT_TRUE(p);
    EXPECT_EQ(i4_proxy_sock::SOCKS5_GREETING, p->state());
    EXPECT_EQ(0, s->write("early", 5));  // nothing moves before the handshake
    EXPECT_EQ(I4_READY_WRITE, s->wait(I4_READY_WRITE, 2000));
    EXPECT_TRUE(p->connected());
    // The proxy's reported address now stands in the target.
    test_text_file printed;
    p->target_address().print(printed);
    EXPECT_EQ("10.0.0.7", printed.text);
    EXPECT_EQ("TUNNEL", read_tunnel(s.get(), 6));
    EXPECT_EQ(kGreeting + kReq5, peer.received());
}

TEST(ProxySock, FailedHandshakeAnswersOnlyTheErrorFlag) {
    ScriptedPeer peer({ScriptedPeer::expect(9), ScriptedPeer::send(B({0, 91, 0, 0, 0, 0, 0, 0}))});
    std::unique_ptr<i4_proxy_settings> ps(
        settings_for(I4_PROXY_SOCKS4, peer.port(), nullptr, nullptr));
    std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(ps.get()));
    std::unique_ptr<i4_tcpip_address> target(target_for(false));
    std::unique_ptr<i4_socket> s(prot->connect(target.get(), I4_SOCK_STREAM, 0));
    ASSERT_TRUE(s);
    EXPECT_EQ(I4_READY_ERROR, s->wait(I4_READY_WRITE | I4_READY_ERROR, 2000));
    EXPECT_EQ(0, s->wait(I4_READY_WRITE, 2000));
    EXPECT_EQ(i4_proxy_sock::FAILED, dynamic_cast<i4_proxy_sock*>(s.get())->state());
}

}  // namespace
