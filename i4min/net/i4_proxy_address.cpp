#include "i4min/net/i4_proxy_address.h"

#include <cstring>

#include "i4min/file/i4_file.h"

i4_proxy_address::i4_proxy_address(const char* host, int port) {
    size_t n = host ? strlen(host) : 0;
    name = new char[n + 1];
    if (n) memcpy(name, host, n);
    name[n] = 0;
    set_port(port);
}

void i4_proxy_address::print(i4_file& f) const {
    f.printf("%s", name);
}

i4_address* i4_proxy_address::copy() const {
    i4_proxy_address* c = new i4_proxy_address(name, get_port());
    c->set_octets(octets());
    return c;
}

int i4_proxy_address::print_name(i4_file& f) const {
    f.printf("%s", name);
    return 1;
}
