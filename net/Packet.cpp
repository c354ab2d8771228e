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

const uint8_t* Packet::bytes() const {
    // Zeroed here rather than at allocation, so that bytes the writer fills
    // are touched once; stale heap bytes still never go out.
    if (ram.size() < size && size <= ram.capacity()) {
        int64_t at = ram.tell();
        ram.seek(size);  // zero-fills from the end of what was written
        ram.seek(at);
    }
    return static_cast<const uint8_t*>(ram.get_buffer());
}

void Packet::replaceBuffer(int32_t n, int32_t grow) {
    i4_free(ram.get_buffer());
    ram.reset(nullptr, 0, 0);
    void* buf = n > 0 ? i4_malloc(static_cast<size_t>(n)) : nullptr;
    ram.reset(buf, n, grow);
    ram.truncate(0);
}
