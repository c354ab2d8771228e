#include "i4min/net/i4_tcpip_protocol.h"

#include <arpa/inet.h>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <sys/socket.h>

#include "i4min/net/i4_proxy_address.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_proxy_sock.h"
#include "i4min/net/i4_tcpip_address.h"
#include "i4min/net/i4_tcpip_sock.h"
#include "i4min/net/linux_socket_set.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

const size_t kMaxHostName = 255;

int start_state_for(uint32_t proxy_type) {
    switch (proxy_type) {
    case I4_PROXY_SOCKS4:
        return i4_proxy_sock::SOCKS4_SEND;
    case I4_PROXY_SOCKS5:
        return i4_proxy_sock::SOCKS5_GREETING;
    default:
        return i4_proxy_sock::HTTP_SEND;
    }
}

bool is_dotted_quad(const char* name, in_addr* out) {
    return name && inet_aton(name, out) != 0;
}

}  // namespace

i4_tcpip_address* i4_resolve_direct(const char* name) {
    if (!name || !*name || strlen(name) > kMaxHostName) return nullptr;
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    if (is_dotted_quad(name, &sa.sin_addr)) return new i4_tcpip_address(sa);
    addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    if (getaddrinfo(name, nullptr, &hints, &res) != 0 || !res) return nullptr;
    i4_tcpip_address* a = nullptr;
    for (addrinfo* r = res; r; r = r->ai_next) {
        if (r->ai_family == AF_INET && r->ai_addrlen >= sizeof(sockaddr_in)) {
            memcpy(&sa, r->ai_addr, sizeof sa);
            sa.sin_port = 0;
            a = new i4_tcpip_address(sa);
            break;
        }
    }
    freeaddrinfo(res);
    return a;
}

i4_protocol* i4_create_tcpip_protocol(const i4_proxy_settings* settings) {
    return new i4_tcpip_protocol(settings);
}

i4_tcpip_protocol::i4_tcpip_protocol(const i4_proxy_settings* settings) : i4_protocol(settings) {}

const char* i4_tcpip_protocol::name() {
    return "TCP/IP";
}

i4_socket_set* i4_tcpip_protocol::create_socket_set() {
    return new linux_socket_set;
}

i4_address* i4_tcpip_protocol::name_to_address(const char* name) {
    in_addr quad;
    uint32_t t = proxy_type();
    if (t == I4_PROXY_SOCKS5 || t == I4_PROXY_HTTP) {
        // A quad needs no lookup, so it travels as an address rather than as a name.
        if (is_dotted_quad(name, &quad)) return i4_resolve_direct(name);
        if (!name || !*name || strlen(name) > kMaxHostName) return nullptr;
        return new i4_proxy_address(name);
    }
    return i4_resolve_direct(name);
}

i4_socket* i4_tcpip_protocol::connect(const i4_address* address, int type, int blocking,
                                      int32_t limit_ms) {
    const i4_tcpip_address* target = dynamic_cast<const i4_tcpip_address*>(address);
    if (!target) return nullptr;
    int64_t deadline = i4_now_ms() + limit_ms;
    std::unique_ptr<i4_proxy_settings> px(proxy_for_connect());
    bool via_proxy = px->type != I4_PROXY_DIRECT && type == I4_SOCK_STREAM;
    if (via_proxy && !px->address) return nullptr;

    std::unique_ptr<i4_tcpip_address> resolved;
    if (!via_proxy && target->host_name()) {
        // A name made for a resolving proxy, while the proxy has since been switched off.
        resolved.reset(i4_resolve_direct(target->host_name()));
        if (!resolved) return nullptr;
        resolved->set_port(target->get_port());
        target = resolved.get();
    }
    sockaddr_in to = via_proxy ? px->address->sockaddr() : target->sockaddr();

    i4_tcpip_sock* s = new i4_tcpip_sock(type);
    if (s->creation_failed()) {
        delete s;
        return nullptr;
    }
    if (blocking) {
        if (!s->connect_within(to, limit_ms)) {
            delete s;
            return nullptr;
        }
    } else {
        s->connect_start(to);
    }
    if (!via_proxy) {
        if (blocking) s->set_blocking(1);
        return s;
    }

    i4_proxy_sock* p =
        new i4_proxy_sock(s, start_state_for(px->type), *target, px->user, px->password);
    if (!blocking) return p;
    int32_t left = 0;
    if (limit_ms >= 1) {
        int64_t l = deadline - i4_now_ms();
        left = l >= 1 ? static_cast<int32_t>(l) : 1;
    }
    int r = p->wait(I4_READY_WRITE, left);
    if (!(r & I4_READY_WRITE) || (r & I4_READY_ERROR) || !p->connected()) {
        delete p;
        return nullptr;
    }
    p->set_blocking(1);
    return p;
}

i4_socket* i4_tcpip_protocol::listen(int port, int32_t, int type, const i4_address* address) {
    if (proxy_type() != I4_PROXY_DIRECT && type == I4_SOCK_STREAM) return nullptr;
    i4_tcpip_sock* s = new i4_tcpip_sock(type);
    if (s->creation_failed()) {
        delete s;
        return nullptr;
    }
    int fd = s->descriptor();
    int on = 1;
    sockaddr_in sa;
    memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
    const i4_tcpip_address* at = dynamic_cast<const i4_tcpip_address*>(address);
    if (at) sa.sin_addr = at->sockaddr().sin_addr;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
        (s->type() == I4_SOCK_STREAM && ::listen(fd, 128) != 0)) {
        delete s;
        return nullptr;
    }
    return s;
}
