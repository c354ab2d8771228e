// Makes addresses and sockets. Any thread may call it; the mutex guards only the proxy
// settings, so connects run side by side and a slow peer never holds up another connect.
#pragma once
#include <cstdint>

#include "i4min/net/i4_address.h"
#include "i4min/net/i4_socket.h"
#include "i4min/net/i4_socket_set.h"
#include "i4min/threads/linux/i4_mutex.h"

class i4_proxy_settings;

// How long peers and servers get to answer a connect.
const int32_t I4_CONNECT_LIMIT_MS = 8000;

class i4_protocol {
public:
    // Holds its own copy of the settings; null means direct.
    explicit i4_protocol(const i4_proxy_settings* settings);
    i4_protocol(const i4_protocol&) = delete;
    i4_protocol& operator=(const i4_protocol&) = delete;
    virtual ~i4_protocol();

    virtual const char* name() = 0;
    virtual i4_socket_set* create_socket_set() = 0;
    // The caller owns the result and sets its port; null when the name does not resolve.
    virtual i4_address* name_to_address(const char* name) = 0;
    // A new socket connected to the address, or null. Blocking: the connect (and a proxy's
    // handshake) must finish within limit_ms (below 1: no limit) and the socket is returned in
    // blocking mode. Not blocking: the connect is only started.
    virtual i4_socket* connect(const i4_address* address, int type, int blocking,
                               int32_t limit_ms = I4_CONNECT_LIMIT_MS) = 0;
    // A new listening socket (stream) or bound socket (datagram) on the port, or null. Bound
    // to the address's host when one is given, else to every local address.
    virtual i4_socket* listen(int port, int32_t timeout_ms, int type,
                              const i4_address* address) = 0;

    // Replaces the proxy settings (null: direct); connects under way keep their own copy.
    void setProxy(const i4_proxy_settings* settings);
    uint32_t proxy_type();
    // A copy of the settings in force with the proxy's address resolved when possible (the
    // resolved address is kept for later calls). The caller deletes it.
    i4_proxy_settings* proxy_for_connect();

private:
    i4_mutex m;
    i4_proxy_settings* proxy;  // never null
};
