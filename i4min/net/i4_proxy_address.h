// A target named by its host name, for a proxy that resolves names itself. One holder, one thread.
#pragma once
#include "i4min/net/i4_tcpip_address.h"

class i4_proxy_address : public i4_tcpip_address {
public:
    // The octets stay 0.0.0.0 until a proxy reply fills them.
    explicit i4_proxy_address(const char* host, int port = 0);
    void print(i4_file& f) const override;
    i4_address* copy() const override;
    int print_name(i4_file& f) const override;
};
