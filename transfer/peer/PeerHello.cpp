#include "transfer/peer/PeerHello.h"

#include <vector>

#include "core/CoreOptions.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "meta/UserMeta.h"
#include "net/TCPPacket.h"
#include "transfer/peer/PeerFrame.h"

TCPPacket* PeerHello::write(bool answer, uint32_t serverIp, uint16_t serverPort,
                            uint16_t doorPort) {
    int32_t length = theCoreOptions.getUserMetaSize() + (answer ? 11 : 12);
    TCPPacket* p = PeerFrame::start(answer ? OP_HELLO_ANSWER : OP_HELLO, length);
    i4_file& f = p->file();
    if (!answer) f.write_8(PeerFrame::HASH_SIZE);
    theCoreOptions.writeUserMeta(f);
    f.write_32(serverIp);
    f.write_16(serverPort);
    f.write_32(0);
    // The own record may have changed between its size and its copy.
    p->fixLength();
    uint8_t* payload = static_cast<uint8_t*>(f.memory_at(TCPPacket::HEADER_SIZE));
    trailer(payload, (uint32_t)(p->getSize() - TCPPacket::HEADER_SIZE), trailerSeed(doorPort));
    return p;
}

bool PeerHello::readHead(i4_field_reader& in, bool answer, UserMeta& user) {
    if (!answer && in.u8() != PeerFrame::HASH_SIZE) return false;
    return user.fromNetwork(in.file());
}

void PeerHello::readTail(i4_field_reader& in, UserMeta& user) {
    i4_file& f = in.file();
    user.serverIp = in.u32();
    user.serverPort = in.u16();
    user.trailerValid = 0;
    int64_t n = f.tell() + 4;
    if (n > f.size()) return;
    std::vector<uint8_t> bytes((size_t)n);
    int64_t at = f.tell();
    f.seek(0);
    f.readAll(bytes.data(), (int32_t)n);
    f.seek(at);
    user.trailerValid = trailer(bytes.data(), (uint32_t)n, trailerSeed(user.port)) ? 1 : 0;
}

bool PeerHello::trailer(uint8_t* p, uint32_t n, int32_t seed) {
    if (!p || n < 5) return false;
    int32_t s = seed;
    uint8_t c = p[0];
    uint8_t d = 0;
    bool ok = true;
    for (uint32_t i = 0; i + 1 < n; i++) {
        // Truncating remainder in signed 32 bits: s stays within -254..254.
        s = (s * 8147 + 6281) % 255;
        uint8_t t = (uint8_t)((p[i] + 7529) % 255);
        c = (uint8_t)(((uint8_t)(c + d) ^ t) - (uint8_t)s);
        d = c;
        if (i + 5 >= n) {
            if (p[i + 1] != c) ok = false;
            p[i + 1] = c;
        }
    }
    return ok;
}
