// layer: i4min
// HTTP answers as a hostile or broken web server may send them: the status line, the headers
// and the body of a GET, read to a file. Only status 200 with a whole body within the cap
// leaves a file, and never a temporary one. The first byte sets the cap.
#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "fuzz/fuzz_temp_file.h"
#include "i4min/net/i4_HttpConnection.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"

namespace {

// Answers every connect with a socket whose far end holds the server's answer and then closes.
class CannedServer : public i4_tcpip_protocol {
public:
    CannedServer() : i4_tcpip_protocol(nullptr) {}
    i4_socket* connect(const i4_address*, int, int, int32_t) override {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return nullptr;
        size_t at = 0;
        while (at < answer.size()) {
            ssize_t w = write(fds[1], answer.data() + at, answer.size() - at);
            if (w <= 0) break;
            at += (size_t)w;
        }
        // The far end stays open for the request and says no more.
        shutdown(fds[1], SHUT_WR);
        if (peer >= 0) close(peer);
        peer = fds[1];
        return new i4_tcpip_sock(fds[0], I4_SOCK_STREAM);
    }
    std::string answer;
    int peer = -1;
};

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A socket pair holds a few hundred KiB: the whole answer is written before the fetch.
    if (size < 1 || size > 65536) return 0;
    static CannedServer* server = new CannedServer;
    server->answer.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string target = fuzzTempDir() + "/fetched";
    unlink(target.c_str());
    i4_HttpConnection c;
    c.timeout_ms = 50;
    c.max_bytes = data[0] ? data[0] * 64 : 0;
    int r = i4_http_get_to_file(&c, "http://127.0.0.1:8080/list.met", target.c_str(), server);
    if (r == 0 && (c.status != 200 || !exists(target))) __builtin_trap();
    if (r != 0 && exists(target)) __builtin_trap();
    if (exists(target + ".tmp")) __builtin_trap();
    return 0;
}
