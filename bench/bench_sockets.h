// Shared by the benchmarks of the connection layer: loopback socket pairs and the one protocol
// of a benchmark binary.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "i4min/net/i4_tcpip_protocol.h"
#include "i4min/net/i4_tcpip_sock.h"

// A connected loopback TCP pair of descriptors.
inline bool loopbackPair(int* a, int* b) {
    int l = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (bind(l, (sockaddr*)&sa, sizeof sa) != 0 || listen(l, 1) != 0 ||
        getsockname(l, (sockaddr*)&sa, &len) != 0) {
        close(l);
        return false;
    }
    *a = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(*a, (sockaddr*)&sa, sizeof sa) != 0) {
        close(*a);
        close(l);
        return false;
    }
    *b = accept(l, nullptr, nullptr);
    close(l);
    return *b >= 0;
}

inline i4_protocol* benchProtocol() {
    static std::unique_ptr<i4_protocol> p(i4_create_tcpip_protocol(nullptr));
    return p.get();
}

// A non-blocking socket over the descriptor, for a connection to own.
inline i4_socket* wrapDescriptor(int fd) {
    fcntl(fd, F_SETFL, O_NONBLOCK);
    return new i4_tcpip_sock(fd, I4_SOCK_STREAM);
}
