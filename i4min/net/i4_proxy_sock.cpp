#include "i4min/net/i4_proxy_sock.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "i4min/net/i4_tcpip_address.h"
#include "i4min/threads/linux/i4_time.h"

namespace {

const size_t kMaxName = 255;
const int32_t kMaxHttpReply = 1023;

char* copy_text(const char* s) {
    if (!s) return nullptr;
    size_t n = strlen(s);
    char* c = new char[n + 1];
    memcpy(c, s, n + 1);
    return c;
}

std::string base64(const std::string& in) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8) | uint8_t(in[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i + 1 == in.size()) {
        uint32_t v = uint8_t(in[i]) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == in.size()) {
        uint32_t v = (uint8_t(in[i]) << 16) | (uint8_t(in[i + 1]) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string target_text(const i4_tcpip_address& t) {
    if (t.host_name()) return t.host_name();
    const uint8_t* o = t.octets();
    char buf[16];
    snprintf(buf, sizeof buf, "%d.%d.%d.%d", o[0], o[1], o[2], o[3]);
    return buf;
}

}  // namespace

i4_proxy_sock::i4_proxy_sock(i4_tcpip_sock* plain, int start_state, const i4_tcpip_address& t,
                             const char* u, const char* p)
    : i4_tcpip_sock(plain->take_descriptor(), I4_SOCK_STREAM),
      st(start_state),
      target(static_cast<i4_tcpip_address*>(t.copy())),
      user(copy_text(u)),
      password(copy_text(p)),
      deadline(-1) {
    delete plain;
}

i4_proxy_sock::~i4_proxy_sock() {
    delete target;
    delete[] user;
    delete[] password;
}

int32_t i4_proxy_sock::read(void* buf, int32_t n) {
    return st == CONNECTED ? i4_tcpip_sock::read(buf, n) : 0;
}

int32_t i4_proxy_sock::write(const void* buf, int32_t n) {
    return st == CONNECTED ? i4_tcpip_sock::write(buf, n) : 0;
}

int32_t i4_proxy_sock::time_left() const {
    if (deadline < 0) return -1;
    int64_t l = deadline - i4_now_ms();
    return l > 0 ? static_cast<int32_t>(l) : 0;
}

bool i4_proxy_sock::step_wait(int flag) {
    int r = i4_tcpip_sock::wait(flag, time_left());
    if (flag == I4_READY_WRITE) return (r & I4_READY_WRITE) && !(r & I4_READY_ERROR);
    // Readable with an error still lets read() tell data from a reset.
    return (r & I4_READY_READ) != 0;
}

bool i4_proxy_sock::send_all(const uint8_t* data, int32_t n) {
    if (!step_wait(I4_READY_WRITE)) return false;
    return i4_tcpip_sock::write(data, n) == n;
}

// Takes exactly n bytes, so nothing that follows the reply is consumed here.
bool i4_proxy_sock::read_exact(uint8_t* buf, int32_t n) {
    int32_t got = 0;
    for (int rounds = 0; got < n && rounds < 4 * n + 16; rounds++) {
        if (!step_wait(I4_READY_READ)) return false;
        int32_t r = i4_tcpip_sock::read(buf + got, n - got);
        if (r < 0) return false;
        got += r;
    }
    return got == n;
}

int i4_proxy_sock::wait(int flags, int32_t ms) {
    if (st == CONNECTED) return i4_tcpip_sock::wait(flags, ms);
    deadline = ms >= 1 ? i4_now_ms() + ms : -1;
    while (st != CONNECTED && st != FAILED) {
        if (!run_step()) st = FAILED;
    }
    if (st == FAILED) return flags & I4_READY_ERROR;
    return i4_tcpip_sock::wait(flags, time_left());
}

bool i4_proxy_sock::run_step() {
    switch (st) {
    case HTTP_SEND:
        return http_send();
    case HTTP_REPLY:
        return http_reply();
    case SOCKS4_SEND:
        return socks4_send();
    case SOCKS4_REPLY:
        return socks4_reply();
    case SOCKS5_GREETING:
        return socks5_greeting();
    case SOCKS5_METHOD:
        return socks5_method();
    case SOCKS5_AUTH_REPLY:
        return socks5_auth_reply();
    case SOCKS5_REQUEST:
        return socks5_request();
    case SOCKS5_REPLY:
        return socks5_reply();
    default:
        return false;
    }
}

bool i4_proxy_sock::http_send() {
    std::string host = target_text(*target);
    std::string req = "CONNECT " + host + ":" + std::to_string(target->get_port()) +
                      " HTTP/1.0\r\n"
                      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows 98)\r\n"
                      "Host: " +
                      host +
                      "\r\n"
                      "Content-Length: 0\r\n"
                      "Proxy-Connection: Keep-Alive\r\n"
                      "Pragma: no-cache\r\n";
    if (user && *user) {
        std::string cred = std::string(user) + ":" + (password ? password : "");
        if (cred.size() > 256) cred.resize(256);
        req += "Proxy-authorization: Basic " + base64(cred) + "\r\n";
    }
    req += "\r\n";
    if (!send_all(reinterpret_cast<const uint8_t*>(req.data()), static_cast<int32_t>(req.size())))
        return false;
    st = HTTP_REPLY;
    return true;
}

// One byte at a time, so that the first tunnel byte after the header stays in the socket.
bool i4_proxy_sock::http_reply() {
    char reply[kMaxHttpReply + 1];
    int32_t n = 0;
    for (;;) {
        if (n >= kMaxHttpReply) return false;
        uint8_t c;
        if (!read_exact(&c, 1)) return false;
        reply[n++] = static_cast<char>(c);
        reply[n] = 0;
        bool end = (n >= 2 && reply[n - 1] == '\n' && reply[n - 2] == '\n') ||
                   (n >= 3 && reply[n - 1] == '\n' && reply[n - 2] == '\r' && reply[n - 3] == '\n');
        if (end) break;
    }
    if (strncmp(reply, "HTTP/", 5) != 0) return false;
    const char* sp = strchr(reply, ' ');
    if (!sp) return false;
    sp++;
    int code = 0;
    int digits = 0;
    while (*sp >= '0' && *sp <= '9' && digits < 4) {
        code = code * 10 + (*sp++ - '0');
        digits++;
    }
    if (code != 200 || digits != 3) return false;
    st = CONNECTED;
    return true;
}

// SOCKS4 request: VN 4 | CD 1 | port (2, network order) | IPv4 (4) | user id "" 0 |
// for SOCKS4a, where the IPv4 is 0.0.0.1: the host name and 0.
bool i4_proxy_sock::socks4_send() {
    uint8_t req[9 + kMaxName + 1];
    int32_t n = 0;
    uint16_t port = static_cast<uint16_t>(target->get_port());
    req[n++] = 4;
    req[n++] = 1;
    req[n++] = static_cast<uint8_t>(port >> 8);
    req[n++] = static_cast<uint8_t>(port);
    const char* name = target->host_name();
    if (name) {
        size_t len = strlen(name);
        if (len == 0 || len > kMaxName) return false;
        req[n++] = 0;
        req[n++] = 0;
        req[n++] = 0;
        req[n++] = 1;
        req[n++] = 0;
        memcpy(req + n, name, len);
        n += static_cast<int32_t>(len);
        req[n++] = 0;
    } else {
        memcpy(req + n, target->octets(), 4);
        n += 4;
        req[n++] = 0;
    }
    if (!send_all(req, n)) return false;
    st = SOCKS4_REPLY;
    return true;
}

// SOCKS4 reply: VN 0 (or 4) | CD 90 granted | port (2) | IPv4 (4).
bool i4_proxy_sock::socks4_reply() {
    uint8_t r[8];
    if (!read_exact(r, 8)) return false;
    if ((r[0] != 0 && r[0] != 4) || r[1] != 90) return false;
    target->set_octets(r + 4);
    target->set_port((r[2] << 8) | r[3]);
    st = CONNECTED;
    return true;
}

// Greeting: version 5, two methods: 0 none, 2 user name and password.
bool i4_proxy_sock::socks5_greeting() {
    static const uint8_t greeting[4] = {5, 2, 0, 2};
    if (!send_all(greeting, 4)) return false;
    st = SOCKS5_METHOD;
    return true;
}

// Method choice: version 5 | method. For method 2 the credentials follow:
// 1 | user length | user | password length | password.
bool i4_proxy_sock::socks5_method() {
    uint8_t r[2];
    if (!read_exact(r, 2)) return false;
    if (r[0] != 5) return false;
    if (r[1] == 0) {
        st = SOCKS5_REQUEST;
        return true;
    }
    if (r[1] != 2 || !user || !*user || !password || !*password) return false;
    size_t ul = strlen(user);
    size_t pl = strlen(password);
    if (ul > kMaxName || pl > kMaxName) return false;
    uint8_t auth[3 + 2 * kMaxName];
    int32_t n = 0;
    auth[n++] = 1;
    auth[n++] = static_cast<uint8_t>(ul);
    memcpy(auth + n, user, ul);
    n += static_cast<int32_t>(ul);
    auth[n++] = static_cast<uint8_t>(pl);
    memcpy(auth + n, password, pl);
    n += static_cast<int32_t>(pl);
    if (!send_all(auth, n)) return false;
    st = SOCKS5_AUTH_REPLY;
    return true;
}

// Authentication reply: version 1 | status 0 for success.
bool i4_proxy_sock::socks5_auth_reply() {
    uint8_t r[2];
    if (!read_exact(r, 2)) return false;
    if (r[0] != 1 || r[1] != 0) return false;
    st = SOCKS5_REQUEST;
    return true;
}

// Request: 5 | CMD 1 connect | 0 | ATYP, then ATYP 1: IPv4 (4), or ATYP 3: length (1) and
// name; then the port (2, network order).
bool i4_proxy_sock::socks5_request() {
    uint8_t req[4 + 1 + kMaxName + 2];
    int32_t n = 0;
    req[n++] = 5;
    req[n++] = 1;
    req[n++] = 0;
    const char* name = target->host_name();
    if (name) {
        size_t len = strlen(name);
        if (len == 0 || len > kMaxName) return false;
        req[n++] = 3;
        req[n++] = static_cast<uint8_t>(len);
        memcpy(req + n, name, len);
        n += static_cast<int32_t>(len);
    } else {
        req[n++] = 1;
        memcpy(req + n, target->octets(), 4);
        n += 4;
    }
    uint16_t port = static_cast<uint16_t>(target->get_port());
    req[n++] = static_cast<uint8_t>(port >> 8);
    req[n++] = static_cast<uint8_t>(port);
    if (!send_all(req, n)) return false;
    st = SOCKS5_REPLY;
    return true;
}

// Reply: 5 | REP 0 success | 0 | ATYP 1 | IPv4 (4) | port (2): ten bytes, all taken before the
// tunnel opens. Other address types are refused.
bool i4_proxy_sock::socks5_reply() {
    uint8_t r[10];
    if (!read_exact(r, 4)) return false;
    if (r[0] != 5 || r[1] != 0 || r[3] != 1) return false;
    if (!read_exact(r + 4, 6)) return false;
    target->set_octets(r + 4);
    target->set_port((r[8] << 8) | r[9]);
    st = CONNECTED;
    return true;
}
