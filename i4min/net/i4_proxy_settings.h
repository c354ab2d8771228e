// Proxy settings record. Plain data: whoever holds a record guards it (the protocol holds its
// own copy under its mutex).
#pragma once
#include <cstdint>

class i4_tcpip_address;

enum { I4_PROXY_DIRECT = 0, I4_PROXY_SOCKS4 = 1, I4_PROXY_SOCKS5 = 2, I4_PROXY_HTTP = 3 };

class i4_proxy_settings {
public:
    uint32_t type = I4_PROXY_DIRECT;
    char* host = nullptr;      // owned, may be null
    int port = 0;              // host order
    char* user = nullptr;      // owned, may be null
    char* password = nullptr;  // owned, may be null
    // The proxy's address once resolved (port set); owned, null until then.
    i4_tcpip_address* address = nullptr;

    i4_proxy_settings() = default;
    i4_proxy_settings(const i4_proxy_settings&) = delete;
    i4_proxy_settings& operator=(const i4_proxy_settings&) = delete;
    ~i4_proxy_settings();

    // A new record with its own copies of the texts and the address.
    i4_proxy_settings* copy() const;
    // Frees the texts and the address and leaves a direct record.
    void release();
    // Both direct (a missing record counts as direct), or type, port and all texts equal.
    static bool equals(const i4_proxy_settings* a, const i4_proxy_settings* b);
};

// A new direct record.
i4_proxy_settings* i4_default_proxy_settings();
