// Handshakes against real proxy servers started on loopback: danted (SOCKS4, SOCKS5 with and
// without user and password) and tinyproxy (HTTP CONNECT with and without Basic auth).
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/string/i4_string.h"
#include "net_test_support.h"
#include "support/ByteCompare.h"

namespace {

const char* const kUser = "tvuser";
const char* const kPassword = "s3cret";
// crypt(3) SHA-512 of kPassword with the salt "tornavel", for the proxy's own user table.
const char* const kPasswordHash =
    "$6$tornavel$C0UpQE/"
    "WsdALPbCjGmkfAoCLokim7auo4VJyfHdk4SIxR4as0kZ780w0APK1pCgQg7BSqnkcutao4t4R3V39V1";

void write_file(const std::string& path, const std::string& text) {
    std::ofstream f(path);
    f << text;
}

std::string read_file(const std::string& path) {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// One proxy server process with its own directory and configuration.
class ProxyServer {
public:
    ~ProxyServer() {
        process.stop();
        nettest::remove_tree(dir);
    }
    int port() const { return port_; }
    // Empty when the server answers on its port.
    const std::string& problem() const { return why; }
    // The problem means the test cannot run on this machine (not root, so nothing could be
    // installed), not that the server is broken.
    bool unavailable() const { return not_here; }

    void start_dante(bool with_password) {
        std::string bin = nettest::find_program("danted");
        if (bin.empty()) return missing("danted is not installed (Debian package dante-server)");
        if (with_password && geteuid() != 0) return skip("a proxy user table needs root");
        if (!prepare()) return;
        std::string conf = dir + "/danted.conf";
        std::string text = "logoutput: " + dir +
                           "/danted.log\n"
                           "internal: 127.0.0.1 port = " +
                           std::to_string(port_) +
                           "\n"
                           "external: 127.0.0.1\n"
                           "clientmethod: none\n"
                           "socksmethod: " +
                           (with_password ? "username" : "none") + "\n";
        if (geteuid() == 0) text += "user.privileged: root\nuser.unprivileged: nobody\n";
        text +=
            "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
            "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8 protocol: tcp }\n";
        write_file(conf, text);
        std::string run = "exec " + bin + " -f " + conf + " -p " + dir + "/danted.pid -N 1";
        if (with_password) {
            // The user exists only inside the proxy's own mount namespace.
            write_file(dir + "/passwd", read_file("/etc/passwd") + kUser +
                                            ":x:4242:4242::/nonexistent:/usr/sbin/nologin\n");
            write_file(dir + "/shadow", read_file("/etc/shadow") + kUser + ":" + kPasswordHash +
                                            ":19000:0:99999:7:::\n");
            run = "mount --bind " + dir + "/passwd /etc/passwd && mount --bind " + dir +
                  "/shadow /etc/shadow && " + run;
            std::string unshare = nettest::find_program("unshare");
            if (unshare.empty()) return fail("unshare is not available");
            launch({unshare, "-m", "sh", "-c", run}, "danted");
        } else {
            launch({"sh", "-c", run}, "danted");
        }
    }

    void start_tinyproxy(bool with_password) {
        std::string bin = nettest::find_program("tinyproxy");
        if (bin.empty()) return missing("tinyproxy is not installed (Debian package tinyproxy)");
        if (!prepare()) return;
        std::string conf = dir + "/tinyproxy.conf";
        std::string text = "Port " + std::to_string(port_) +
                           "\n"
                           "Listen 127.0.0.1\n"
                           "Timeout 30\n"
                           "MaxClients 20\n"
                           "Allow 127.0.0.1\n"
                           "LogLevel Critical\n"
                           "PidFile \"" +
                           dir + "/tinyproxy.pid\"\n";
        if (geteuid() == 0) text += "User nobody\nGroup nogroup\n";
        if (with_password) text += std::string("BasicAuth ") + kUser + " " + kPassword + "\n";
        write_file(conf, text);
        launch({bin, "-d", "-c", conf}, "tinyproxy");
    }

private:
    std::string dir;
    int port_ = 0;
    std::string why;
    bool not_here = false;
    nettest::ChildProcess process;

    void fail(const std::string& w) { why = w; }
    void skip(const std::string& w) {
        why = w;
        not_here = true;
    }
    // make test installs the servers whenever it runs as root (as CI does), so there a
    // missing server is a fault of the set-up, not a reason to pass without testing.
    void missing(const std::string& w) {
        if (geteuid() == 0) return fail(w + ", though make test installs it as root");
        skip(w);
    }

    bool prepare() {
        dir = nettest::make_temp_dir();
        if (dir.empty()) {
            fail("no temporary directory");
            return false;
        }
        chmod(dir.c_str(), 0755);
        port_ = nettest::free_port();
        return true;
    }

    void launch(const std::vector<std::string>& argv, const std::string& name) {
        std::string log = dir + "/" + name + ".out";
        if (!process.start(argv, log)) return fail("cannot start " + name);
        if (!nettest::wait_port_open(port_))
            fail(name + " did not start: " + read_file(log) + read_file(dir + "/" + name + ".log"));
    }
};

struct Route {
    const char* what;
    uint32_t type;
    const char* user;
    const char* password;
    const char* target_name;  // asked of the protocol; "127.0.0.1" or a name
    bool connects;
};

// Connects through the proxy to a loopback echo server and sends data both ways.
void check_routes(const ProxyServer& proxy, const std::vector<Route>& routes) {
    nettest::EchoServer echo;
    for (const Route& r : routes) {
        SCOPED_TRACE(r.what);
        i4_proxy_settings ps;
        ps.type = r.type;
        ps.host = i4_strdup("127.0.0.1");
        ps.port = proxy.port();
        ps.user = i4_strdup(r.user);
        ps.password = i4_strdup(r.password);
        std::unique_ptr<i4_protocol> prot(i4_create_tcpip_protocol(&ps));
        std::unique_ptr<i4_address> target(prot->name_to_address(r.target_name));
        ASSERT_TRUE(target);
        target->set_port(echo.port());
        std::unique_ptr<i4_socket> s(prot->connect(target.get(), I4_SOCK_STREAM, 1, 3000));
        ASSERT_EQ(r.connects, s != nullptr);
        if (!s) continue;
        std::string payload;
        for (int i = 0; i < 3000; i++) payload += static_cast<char>('a' + i % 26);
        ASSERT_EQ(static_cast<int32_t>(payload.size()),
                  s->write(payload.data(), static_cast<int32_t>(payload.size())));
        std::string back;
        for (int i = 0; i < 100 && back.size() < payload.size(); i++) {
            if (!(s->wait(I4_READY_READ, 2000) & I4_READY_READ)) break;
            char buf[4096];
            int32_t n = s->read(buf, sizeof buf);
            if (n <= 0) break;
            back.append(buf, static_cast<size_t>(n));
        }
        EXPECT_BYTES_EQ(payload, back);
    }
}

// A server that is installed but does not come up fails the test: skipping would let a
// broken proxy set-up pass unnoticed.
#define START_OR_SKIP(proxy)                                          \
    do {                                                              \
        if ((proxy).unavailable()) GTEST_SKIP() << (proxy).problem(); \
        ASSERT_EQ("", (proxy).problem());                             \
    } while (0)

TEST(ProxyServers, DanteSocks4AndSocks5WithoutAuthentication) {
    ProxyServer proxy;
    proxy.start_dante(false);
    START_OR_SKIP(proxy);
    check_routes(
        proxy,
        {
            {"socks4, name resolved here", I4_PROXY_SOCKS4, nullptr, nullptr, "localhost", true},
            {"socks5 by address", I4_PROXY_SOCKS5, nullptr, nullptr, "127.0.0.1", true},
            {"socks5, name resolved by the proxy", I4_PROXY_SOCKS5, nullptr, nullptr, "localhost",
             true},
        });
}

TEST(ProxyServers, DanteSocks5WithUserAndPassword) {
    ProxyServer proxy;
    proxy.start_dante(true);
    START_OR_SKIP(proxy);
    check_routes(
        proxy, {
                   {"right password", I4_PROXY_SOCKS5, kUser, kPassword, "127.0.0.1", true},
                   {"wrong password", I4_PROXY_SOCKS5, kUser, "wrong", "127.0.0.1", false},
                   {"unknown user", I4_PROXY_SOCKS5, "nobody-here", kPassword, "127.0.0.1", false},
                   {"no credentials", I4_PROXY_SOCKS5, nullptr, nullptr, "127.0.0.1", false},
               });
}

TEST(ProxyServers, TinyproxyConnectWithoutAuthorisation) {
    ProxyServer proxy;
    proxy.start_tinyproxy(false);
    START_OR_SKIP(proxy);
    check_routes(proxy, {
                            {"by address", I4_PROXY_HTTP, nullptr, nullptr, "127.0.0.1", true},
                            {"name resolved by the proxy", I4_PROXY_HTTP, nullptr, nullptr,
                             "localhost", true},
                        });
}

TEST(ProxyServers, TinyproxyConnectWithBasicAuthorisation) {
    ProxyServer proxy;
    proxy.start_tinyproxy(true);
    START_OR_SKIP(proxy);
    check_routes(proxy, {
                            {"right password", I4_PROXY_HTTP, kUser, kPassword, "127.0.0.1", true},
                            {"wrong password", I4_PROXY_HTTP, kUser, "wrong", "127.0.0.1", false},
                            {"no credentials", I4_PROXY_HTTP, nullptr, nullptr, "localhost", false},
                        });
}

}  // namespace
