#include "net/TCPReadPacket.h"

#include <cstring>

#include "i4min/memory/i4_memory.h"
#include "net/Connection.h"

TCPReadPacket::TCPReadPacket(uint8_t expectedMarker, uint32_t maxLen)
    : headerReceived(0), marker(expectedMarker), payloadReceived(0), maxLength(0) {
    setMaxPayload(maxLen);
}

void TCPReadPacket::setMaxPayload(uint32_t maxLen) {
    maxLength = maxLen > 0x7fffffffu ? 0x7fffffffu : maxLen;
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
        replaceBuffer(0, 0);
        size = static_cast<int32_t>(length);
        payloadReceived = 0;
    }

    int32_t want = size - payloadReceived;
    if (want > Connection::receiveBudget) want = Connection::receiveBudget;
    if (want <= 0) return PACKET_NOT_DONE;
    int32_t r;
    if (payloadReceived == 0 && ram.capacity() == 0) {
        // The first bytes before any room: a peer that announces a large frame and sends
        // little costs what it sent, not what it announced.
        uint8_t scratch[SCRATCH];
        r = stream->read(scratch, want < SCRATCH ? want : SCRATCH);
        if (r < 0) return PACKET_ERROR;
        if (r == 0) return PACKET_NOT_DONE;
        int32_t room = r < FIRST_ROOM ? FIRST_ROOM : r;
        if (room > size) room = size;
        void* buf = i4_malloc(static_cast<size_t>(room));
        memcpy(buf, scratch, static_cast<size_t>(r));
        ram.reset(buf, room, 0);
    } else {
        if (payloadReceived == ram.capacity()) {
            // Full: twice the room, so the bytes held stay at least half of it.
            int64_t grown = 2 * static_cast<int64_t>(ram.capacity());
            if (grown > size) grown = size;
            ram.reset(i4_realloc(ram.get_buffer(), static_cast<size_t>(grown)),
                      static_cast<int32_t>(grown), 0);
        }
        int32_t room = ram.capacity() - payloadReceived;
        r = stream->read(static_cast<uint8_t*>(ram.get_buffer()) + payloadReceived,
                         want < room ? want : room);
        if (r < 0) return PACKET_ERROR;
        if (r == 0) return PACKET_NOT_DONE;
    }
    Connection::chargeReceive(r);
    *count += r;
    payloadReceived += r;
    if (payloadReceived < size) return PACKET_NOT_DONE;
    ram.reset(ram.get_buffer(), size, 0);
    return PACKET_COMPLETE;
}
