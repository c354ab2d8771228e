#include "i4min/net/i4_tcpip_address.h"

#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

#include "i4min/file/i4_file.h"

i4_tcpip_address::i4_tcpip_address() : name(nullptr) {
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
}

i4_tcpip_address::i4_tcpip_address(const sockaddr_in& sa) : addr(sa), name(nullptr) {
    memset(addr.sin_zero, 0, sizeof addr.sin_zero);
    addr.sin_family = AF_INET;
}

i4_tcpip_address::i4_tcpip_address(const uint8_t octets[4], int port) : i4_tcpip_address() {
    set_octets(octets);
    set_port(port);
}

i4_tcpip_address::~i4_tcpip_address() {
    delete[] name;
}

void i4_tcpip_address::set_octets(const uint8_t octets[4]) {
    memcpy(&addr.sin_addr.s_addr, octets, 4);
}

void i4_tcpip_address::print(i4_file& f) const {
    const uint8_t* o = octets();
    f.printf("%d.%d.%d.%d", o[0], o[1], o[2], o[3]);
}

i4_address* i4_tcpip_address::copy() const {
    return new i4_tcpip_address(addr);
}

void i4_tcpip_address::set_port(int port) {
    addr.sin_port = htons(static_cast<uint16_t>(port));
}

int i4_tcpip_address::get_port() const {
    return ntohs(addr.sin_port);
}

int i4_tcpip_address::equals(const i4_address* other) const {
    const i4_tcpip_address* o = dynamic_cast<const i4_tcpip_address*>(other);
    return o && memcmp(octets(), o->octets(), 4) == 0;
}

void i4_tcpip_address::write(i4_file& f) const {
    f.write(octets(), 4);
}

int i4_tcpip_address::print_name(i4_file& f) const {
    char host[NI_MAXHOST];
    sockaddr_in sa = addr;
    if (getnameinfo(reinterpret_cast<const struct sockaddr*>(&sa), sizeof sa, host, sizeof host,
                    nullptr, 0, NI_NAMEREQD) != 0)
        return 0;
    f.printf("%s", host);
    return 1;
}
