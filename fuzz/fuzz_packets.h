// Shared by the connection fuzz targets: the input after its mode byte read as packets
// [u8 opcode][u16 length][payload], a length past the input's end cut to what is left.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>

// Calls deliver(payload with its opcode first) per packet until it answers false (the
// connection would be closed). False when a packet closed it.
template <typename Deliver>
bool forEachPacket(const uint8_t* data, size_t size, size_t at, Deliver deliver) {
    while (at + 3 <= size) {
        uint8_t opcode = data[at];
        size_t n = data[at + 1] | (size_t)data[at + 2] << 8;
        at += 3;
        if (n > size - at) n = size - at;
        std::string payload(1, (char)opcode);
        payload.append(reinterpret_cast<const char*>(data + at), n);
        at += n;
        if (!deliver(payload)) return false;
    }
    return true;
}
