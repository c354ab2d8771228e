// The IPv4 protocol. Any thread may call it (see i4_protocol for the lock).
#pragma once
#include "i4min/net/i4_protocol.h"

class i4_tcpip_address;

class i4_tcpip_protocol : public i4_protocol {
public:
    explicit i4_tcpip_protocol(const i4_proxy_settings* settings);

    const char* name() override;
    i4_socket_set* create_socket_set() override;
    // With a proxy that resolves names (SOCKS5, HTTP) a host name is not looked up here: the
    // result carries the name for the proxy.
    i4_address* name_to_address(const char* name) override;
    i4_socket* connect(const i4_address* address, int type, int blocking,
                       int32_t limit_ms = I4_CONNECT_LIMIT_MS) override;
    // Listening through a proxy is not offered: it gives null.
    i4_socket* listen(int port, int32_t timeout_ms, int type, const i4_address* address) override;
};

// A new protocol with a copy of the settings (null: direct).
i4_protocol* i4_create_tcpip_protocol(const i4_proxy_settings* settings);

// A dotted quad, or the first IPv4 address the name service gives for a name (port 0);
// null when neither works or the name is longer than 255 characters. Thread-safe.
i4_tcpip_address* i4_resolve_direct(const char* name);
