// layer: i4min
// Proxy replies as a hostile proxy may send them. The first byte picks the handshake (HTTP
// CONNECT, SOCKS4, SOCKS5 with credentials); then come the target host, the user and the
// password, each ended by a zero byte, and two bytes of target port, so the request a handshake
// builds follows the input too (dotted and named targets, empty, long and odd credentials); the
// rest is everything the proxy answers.
#include <cstdint>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_sock.h"

namespace {

// The next zero-ended field of at most max bytes; the position moves past it.
std::string field(const uint8_t* data, size_t size, size_t* at, size_t max) {
    std::string out;
    while (*at < size && data[*at] != 0 && out.size() < max) out += (char)data[(*at)++];
    if (*at < size && data[*at] == 0) (*at)++;
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    static const int starts[3] = {i4_proxy_sock::HTTP_SEND, i4_proxy_sock::SOCKS4_SEND,
                                  i4_proxy_sock::SOCKS5_GREETING};
    int start = starts[data[0] % 3];
    size_t at = 1;
    std::string host = field(data, size, &at, 300);
    std::string user = field(data, size, &at, 300);
    std::string password = field(data, size, &at, 300);
    int port = 0;
    if (at + 2 <= size) {
        port = data[at] | data[at + 1] << 8;
        at += 2;
    }
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    if (at < size && write(fds[1], data + at, size - at) < 0) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    shutdown(fds[1], SHUT_WR);
    i4_proxy_address target(host.c_str(), port);
    i4_proxy_sock* s = new i4_proxy_sock(new i4_tcpip_sock(fds[0], I4_SOCK_STREAM), start, target,
                                         user.c_str(), password.c_str());
    s->set_blocking(0);
    int r = s->wait(I4_READY_WRITE | I4_READY_ERROR, 20);
    if (s->connected()) {
        // Whatever followed the reply is tunnel data and must come through unchanged.
        char buf[4096];
        s->read(buf, sizeof buf);
    } else if (r & I4_READY_WRITE) {
        __builtin_trap();  // a handshake that did not finish must not look writable
    }
    delete s;
    close(fds[1]);
    return 0;
}
