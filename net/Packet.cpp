#include "net/Packet.h"

#include "i4min/memory/i4_memory.h"

Packet::Packet() : size(0), ram(nullptr, 0, GROW_STEP) {}

Packet::~Packet() {
    i4_free(ram.get_buffer());
}

Packet* Packet::clone() const {
    return nullptr;
}

int Packet::readFrom(i4_file*, int32_t* count) {
    *count = 0;
    return PACKET_NOT_DONE;
}

int Packet::writeTo(i4_file*, int32_t* count) {
    *count = 0;
    return PACKET_NOT_DONE;
}

void Packet::onSent() {}

void Packet::replaceBuffer(int32_t n, int32_t grow) {
    i4_free(ram.get_buffer());
    ram.reset(nullptr, 0, 0);
    void* buf = n > 0 ? i4_malloc(static_cast<size_t>(n)) : nullptr;
    ram.reset(buf, n, grow);
}
