// IPv4 address and port. Not shared: one holder, one thread at a time.
#pragma once
#include <cstdint>
#include <netinet/in.h>

#include "i4min/net/i4_address.h"

class i4_tcpip_address : public i4_address {
public:
    i4_tcpip_address();  // 0.0.0.0 port 0
    explicit i4_tcpip_address(const sockaddr_in& sa);
    // Octets first octet first, port in host order.
    i4_tcpip_address(const uint8_t octets[4], int port);
    i4_tcpip_address(const i4_tcpip_address&) = delete;
    i4_tcpip_address& operator=(const i4_tcpip_address&) = delete;
    ~i4_tcpip_address() override;

    void print(i4_file& f) const override;
    i4_address* copy() const override;
    void set_port(int port) override;
    int get_port() const override;
    int equals(const i4_address* other) const override;
    void write(i4_file& f) const override;
    int print_name(i4_file& f) const override;

    const sockaddr_in& sockaddr() const { return addr; }
    const uint8_t* octets() const {
        return reinterpret_cast<const uint8_t*>(&addr.sin_addr.s_addr);
    }
    void set_octets(const uint8_t octets[4]);
    // Set only for a target that the proxy resolves; null for a plain address.
    const char* host_name() const { return name; }

protected:
    sockaddr_in addr;
    char* name;  // owned, null for a plain address
};
