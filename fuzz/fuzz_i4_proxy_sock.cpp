// layer: i4min
// Proxy replies as a hostile proxy may send them: the first byte picks the handshake (HTTP
// CONNECT, SOCKS4, SOCKS5 with credentials), the rest is everything the proxy answers.
#include <cstdint>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_sock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 4096) return 0;
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    static const int starts[3] = {i4_proxy_sock::HTTP_SEND, i4_proxy_sock::SOCKS4_SEND,
                                  i4_proxy_sock::SOCKS5_GREETING};
    int start = starts[data[0] % 3];
    if (size > 1 && write(fds[1], data + 1, size - 1) < 0) {
        close(fds[0]);
        close(fds[1]);
        return 0;
    }
    shutdown(fds[1], SHUT_WR);
    i4_proxy_address target("peer.example.test", 4661);
    i4_proxy_sock* s = new i4_proxy_sock(new i4_tcpip_sock(fds[0], I4_SOCK_STREAM), start, target,
                                         "user", "password");
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
