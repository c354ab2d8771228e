#include "net/UDPPacket.h"

#include <cstring>

#include "core/ProtocolHolder.h"
#include "core/UIGateway.h"
#include "i4min/net/i4_address.h"
#include "i4min/net/i4_protocol.h"
#include "i4min/net/i4_socket.h"
#include "net/IpPort.h"

UDPPacket::UDPPacket(int32_t payloadLength, uint32_t ip, int port, uint8_t marker) : to(nullptr) {
    fill(payloadLength, marker);
    i4_protocol* protocol = theProtocolHolder.get();
    if (!protocol) {
        theUI->print("ERROR: prot NULL 1\n");
        return;
    }
    i4_string text;
    to = protocol->name_to_address(ipToText(ip, text));
    if (to) to->set_port(port);
}

UDPPacket::UDPPacket(int32_t payloadLength, const i4_address* address, uint8_t marker)
    : to(address ? address->copy() : nullptr) {
    fill(payloadLength, marker);
}

UDPPacket::~UDPPacket() {
    delete to;
}

void UDPPacket::fill(int32_t payloadLength, uint8_t marker) {
    if (payloadLength < 0) payloadLength = 0;
    size = payloadLength + 1;
    // A datagram goes out whole or not at all: writes past the announced size are cut.
    replaceBuffer(size, 0);
    ram.write_8(marker);
}

int UDPPacket::writeTo(i4_file* stream, int32_t* count) {
    *count = 0;
    i4_socket* sock = dynamic_cast<i4_socket*>(stream);
    if (!to || !sock) return PACKET_ERROR;
    *count = sock->write_to(bytes(), size, to);
    return *count == size ? PACKET_COMPLETE : PACKET_ERROR;
}
