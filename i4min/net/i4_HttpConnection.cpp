#include "i4min/net/i4_HttpConnection.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <strings.h>
#include <unistd.h>

#include "i4min/net/i4_address.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_split_url.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/threads/linux/i4_lock.h"

// The connection's socket while a fetch uses it, so that a cancel can reach it.
class i4_HttpFetchSocket {
public:
    i4_HttpFetchSocket(i4_HttpConnection* c, i4_socket* s) : c(c), s(s) {}
    ~i4_HttpFetchSocket() {
        {
            i4_lock hold(&c->lock);
            c->active = nullptr;
        }
        delete s;
    }
    // False when the fetch was cancelled before the socket could be reached.
    bool enlist() {
        i4_lock hold(&c->lock);
        if (c->stopped) return false;
        c->active = s;
        return true;
    }
    i4_socket* get() const { return s; }

private:
    i4_HttpConnection* c;
    i4_socket* s;
};

void i4_HttpConnection::cancel() {
    i4_lock hold(&lock);
    stopped = true;
    if (active) active->cancel();
}

bool i4_HttpConnection::cancelled() {
    i4_lock hold(&lock);
    return stopped;
}

namespace {

const int32_t kDefaultMaxBytes = 16 * 1024 * 1024;
const size_t kMaxHeader = 16 * 1024;

// Names from the console may use the other separator.
std::string local_path(const char* p) {
    std::string s(p);
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool send_all(i4_socket* s, const std::string& data, int32_t ms) {
    size_t off = 0;
    for (int rounds = 0; off < data.size() && rounds < 1000; rounds++) {
        if (!(s->wait(I4_READY_WRITE, ms) & I4_READY_WRITE)) return false;
        int32_t w = s->write(data.data() + off, static_cast<int32_t>(data.size() - off));
        if (w < 0) return false;
        off += static_cast<size_t>(w);
    }
    return off == data.size();
}

// The next bytes from the server: >0 a count, 0 the server closed, -1 silence or failure.
int32_t receive(i4_socket* s, char* buf, int32_t n, int32_t ms) {
    for (int rounds = 0; rounds < 100; rounds++) {
        if (!(s->wait(I4_READY_READ, ms) & (I4_READY_READ | I4_READY_ERROR))) return -1;
        int32_t r = s->read(buf, n);
        if (r > 0) return r;
        if (r < 0) return 0;
    }
    return -1;
}

// The value of a header line, or null. Names compare without case.
const char* header_value(const std::string& head, const char* name) {
    size_t nl = strlen(name);
    size_t pos = head.find('\n');
    while (pos != std::string::npos && pos + 1 < head.size()) {
        const char* line = head.c_str() + pos + 1;
        if (strncasecmp(line, name, nl) == 0 && line[nl] == ':') {
            const char* v = line + nl + 1;
            while (*v == ' ' || *v == '\t') v++;
            return v;
        }
        pos = head.find('\n', pos + 1);
    }
    return nullptr;
}

bool write_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, data, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        data += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

int fetch(i4_HttpConnection* c, const char* url, const std::string& target, i4_protocol* prot) {
    i4_string scheme;
    int port = c->port;
    if (!i4_split_url(url, &scheme, &c->host, &c->path, &c->file, &port)) return 1;
    if (strcasecmp(scheme.c_str(), "http") != 0) return 1;
    int32_t ms = c->timeout_ms > 0 ? c->timeout_ms : I4_CONNECT_LIMIT_MS;
    int32_t cap = c->max_bytes > 0 ? c->max_bytes : kDefaultMaxBytes;

    std::unique_ptr<i4_address> addr(prot->name_to_address(c->host.c_str()));
    if (!addr) return 1;
    addr->set_port(port);
    if (c->cancelled()) return 1;
    // A direct connect is only started, so that a cancel reaches it while it waits; a
    // proxy's handshake runs to its end inside the connect.
    bool direct = prot->proxy_type() == I4_PROXY_DIRECT;
    i4_socket* made = prot->connect(addr.get(), I4_SOCK_STREAM, direct ? 0 : 1, ms);
    if (!made) return 1;
    i4_HttpFetchSocket held(c, made);
    if (!held.enlist()) return 1;
    i4_socket* s = made;
    s->set_blocking(0);
    if (direct) {
        int ready = s->wait(I4_READY_WRITE, ms);
        if (!(ready & I4_READY_WRITE) || (ready & I4_READY_ERROR)) return 1;
    }

    std::string host = c->host.c_str();
    if (port != 80) host += ":" + std::to_string(port);
    std::string req = std::string("GET ") + c->path.c_str() + " HTTP/1.0\r\nHost: " + host +
                      "\r\nAccept: */*\r\nConnection: close\r\n\r\n";
    if (!send_all(s, req, ms)) return 1;

    std::string head;
    size_t body_at = std::string::npos;
    char buf[8192];
    while (body_at == std::string::npos) {
        int32_t r = receive(s, buf, sizeof buf, ms);
        if (r <= 0) return 1;
        head.append(buf, static_cast<size_t>(r));
        size_t crlf = head.find("\r\n\r\n");
        size_t lf = head.find("\n\n");
        if (crlf != std::string::npos && (lf == std::string::npos || crlf + 2 < lf))
            body_at = crlf + 4;
        else if (lf != std::string::npos)
            body_at = lf + 2;
        if (body_at == std::string::npos && head.size() > kMaxHeader) return 1;
    }
    std::string body = head.substr(body_at);
    head.resize(body_at);

    if (head.compare(0, 5, "HTTP/") != 0) return 1;
    size_t sp = head.find(' ');
    if (sp == std::string::npos) return 1;
    c->status = atoi(head.c_str() + sp + 1);
    if (c->status != 200) return 1;
    if (header_value(head, "Transfer-Encoding")) return 1;  // an HTTP/1.0 request gets no chunks
    int64_t expected = -1;
    if (const char* cl = header_value(head, "Content-Length")) {
        char* end = nullptr;
        long long v = strtoll(cl, &end, 10);
        if (end == cl || v < 0) return 1;
        if (v > cap) return 1;
        expected = v;
    }
    if (static_cast<int64_t>(body.size()) > cap) return 1;

    std::string tmp = target + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    int64_t total = static_cast<int64_t>(body.size());
    bool ok = write_all(fd, body.data(), body.size());
    while (ok && (expected < 0 || total < expected)) {
        int32_t r = receive(s, buf, sizeof buf, ms);
        if (r == 0) break;
        if (r < 0 || total + r > cap) {
            ok = false;
            break;
        }
        ok = write_all(fd, buf, static_cast<size_t>(r));
        total += r;
    }
    if (expected >= 0 && total != expected) ok = false;
    if (ok) ok = fsync(fd) == 0;
    if (close(fd) != 0) ok = false;
    if (ok) ok = rename(tmp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(tmp.c_str());
    return ok ? 0 : 1;
}

}  // namespace

int i4_http_get_to_file(i4_HttpConnection* connection, const char* url, const char* file_path,
                        i4_protocol* protocol) {
    if (!connection || !url || !file_path || !*file_path) return 1;
    connection->status = 0;
    std::unique_ptr<i4_protocol> own;
    if (!protocol) {
        own.reset(i4_create_tcpip_protocol(nullptr));
        protocol = own.get();
    }
    return fetch(connection, url, local_path(file_path), protocol);
}
