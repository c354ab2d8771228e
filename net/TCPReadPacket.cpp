#include "net/TCPReadPacket.h"

#include "net/Connection.h"

TCPReadPacket::TCPReadPacket(uint8_t expectedMarker, uint32_t maxLen)
    : headerReceived(0), marker(expectedMarker), payloadReceived(0), maxLength(maxLen) {
    if (maxLength > 0x7fffffffu) maxLength = 0x7fffffffu;
}

void TCPReadPacket::reset() {
    replaceBuffer(0, 0);
    size = 0;
    headerReceived = 0;
    payloadReceived = 0;
    for (int i = 0; i < HEADER_SIZE; i++) header[i] = 0;
}

int TCPReadPacket::readFrom(i4_file* stream, int32_t* count) {
    *count = 0;
    if (headerReceived < HEADER_SIZE) {
        // Header bytes are read whatever the budget, so a frame's length is always learnt.
        int32_t r = stream->read(header + headerReceived, HEADER_SIZE - headerReceived);
        if (r < 0) return PACKET_ERROR;
        if (r == 0) return PACKET_NOT_DONE;
        *count = r;
        headerReceived += r;
        if (headerReceived < HEADER_SIZE) return PACKET_NOT_DONE;
        if (header[0] != marker) return PACKET_ERROR;
        uint32_t length = static_cast<uint32_t>(header[1]) | static_cast<uint32_t>(header[2]) << 8 |
                          static_cast<uint32_t>(header[3]) << 16 |
                          static_cast<uint32_t>(header[4]) << 24;
        // The length is the peer's word: check it before it sizes anything. An empty frame
        // has no opcode and would otherwise stall the connection for good.
        if (length == 0 || length > maxLength) return PACKET_ERROR;
        replaceBuffer(static_cast<int32_t>(length), 0);
        size = static_cast<int32_t>(length);
        payloadReceived = 0;
    }

    int32_t n = size - payloadReceived;
    if (n > Connection::receiveBudget) n = Connection::receiveBudget;
    if (n <= 0) return PACKET_NOT_DONE;
    uint8_t* buf = static_cast<uint8_t*>(ram.get_buffer());
    int32_t r = stream->read(buf + payloadReceived, n);
    if (r < 0) return PACKET_ERROR;
    if (r == 0) return PACKET_NOT_DONE;
    Connection::chargeReceive(r);
    *count += r;
    payloadReceived += r;
    if (payloadReceived < size) return PACKET_NOT_DONE;
    ram.seek(0);
    return PACKET_COMPLETE;
}
