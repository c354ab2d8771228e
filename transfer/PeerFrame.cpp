#include "transfer/PeerFrame.h"

#include <cstring>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "meta/Serializable.h"
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

void PeerFrame::need(i4_file& f, int64_t n) {
    if (n < 0 || n > Serializable::bytesLeft(f)) throw i4_err("peer frame shorter than its fields");
}

void PeerFrame::readHash(i4_file& f, uint8_t hash[16]) {
    f.readAll(hash, HASH_SIZE);
}

i4_string PeerFrame::readString(i4_file& f, uint16_t max) {
    uint16_t length = f.read_16();
    need(f, length);
    uint16_t keep = length < max ? length : max;
    i4_string text(f, keep);
    f.seek(f.tell() + (length - keep));
    return text;
}

void PeerFrame::readBits(i4_file& f, BoolArray& out) {
    need(f, 2);
    int64_t at = f.tell();
    uint16_t count = f.read_16();
    if (count > 0) need(f, count / 8 + 1);
    f.seek(at);
    out.read(f);
}

const uint8_t* PeerFrame::readBytes(i4_file& f, uint32_t n) {
    need(f, n);
    int64_t at = f.tell();
    const uint8_t* p = static_cast<const uint8_t*>(f.memory_at(at));
    if (!p || !f.is_memory()) throw i4_err("peer payload is not in memory");
    f.seek(at + n);
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
