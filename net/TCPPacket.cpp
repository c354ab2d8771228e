#include "net/TCPPacket.h"

#include <cstring>

#include "net/Connection.h"

TCPPacket::TCPPacket(int32_t payloadLength, uint8_t marker, bool closeFlag)
    : sent(0), close(closeFlag) {
    if (payloadLength < 0) payloadLength = 0;
    size = payloadLength + HEADER_SIZE;
    replaceBuffer(size, GROW_STEP);
    ram.write_8(marker);
    ram.write_32(static_cast<uint32_t>(payloadLength));
}

TCPPacket* TCPPacket::closeMarker() {
    return new TCPPacket(1, 0, true);
}

Packet* TCPPacket::clone() const {
    TCPPacket* copy = new TCPPacket(size - HEADER_SIZE, 0);
    copy->bytes();  // the copy's bytes count as written, so the memcpy below stays
    memcpy(copy->ram.get_buffer(), bytes(), static_cast<size_t>(size));
    return copy;
}

void TCPPacket::fixLength() {
    int64_t written = ram.tell();
    if (written < HEADER_SIZE) written = HEADER_SIZE;
    size = static_cast<int32_t>(written);
    int64_t at = ram.tell();
    ram.seek(1);
    ram.write_32(static_cast<uint32_t>(size - HEADER_SIZE));
    ram.seek(at);
}

int TCPPacket::writeTo(i4_file* stream, int32_t* count) {
    *count = 0;
    int32_t n = size - sent;
    if (n > Connection::sendBudget) n = Connection::sendBudget;
    if (n <= 0) return PACKET_NOT_DONE;
    int32_t w = stream->write(bytes() + sent, n);
    if (w < 0) return PACKET_ERROR;
    if (w == 0) return PACKET_NOT_DONE;
    Connection::chargeSend(w);
    *count = w;
    sent += w;
    return sent == size ? PACKET_COMPLETE : PACKET_NOT_DONE;
}
