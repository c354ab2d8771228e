#include "transfer/peer/PeerFrame.h"

#include <cstring>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "net/TCPPacket.h"
#include "util/BoolArray.h"

namespace {

int32_t storedLength(const char* text) {
    size_t n = text ? strlen(text) : 0;
    return n > PeerFrame::MAX_STRING ? (int32_t)PeerFrame::MAX_STRING : (int32_t)n;
}

}  // namespace

TCPPacket* PeerFrame::start(uint8_t opcode, int32_t payloadLength) {
    TCPPacket* p = new TCPPacket(payloadLength, MARKER);
    p->file().write_8(opcode);
    return p;
}

TCPPacket* PeerFrame::bare(uint8_t opcode) {
    return start(opcode, 1);
}

TCPPacket* PeerFrame::withHash(uint8_t opcode, const uint8_t hash[16]) {
    TCPPacket* p = start(opcode, 1 + HASH_SIZE);
    p->file().write(hash, HASH_SIZE);
    return p;
}

i4_string PeerFrame::readString(i4_field_reader& in, int max) {
    i4_string text;
    in.text(max, text);
    return text;
}

void PeerFrame::readBits(i4_field_reader& in, BoolArray& out) {
    uint16_t count = in.u16();
    if (count > 0) in.need(count / 8 + 1);
    in.file().seek(in.position() - 2);
    out.read(in.file());
}

const uint8_t* PeerFrame::readBytes(i4_field_reader& in, uint32_t n) {
    in.need(n);
    i4_file& f = in.file();
    int64_t at = in.position();
    const uint8_t* p = static_cast<const uint8_t*>(f.memory_at(at));
    if (!p || !f.is_memory()) throw i4_err("peer payload is not in memory");
    in.skip(n);
    return p;
}

int32_t PeerFrame::stringSize(const char* text) {
    return 2 + storedLength(text);
}

void PeerFrame::writeString(i4_file& f, const char* text) {
    int32_t n = storedLength(text);
    f.write_16((uint16_t)n);
    if (n > 0) f.write(text, n);
}
