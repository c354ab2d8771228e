// layer: net
// fuzz flags: -len_control=0 -max_len=65536
// Frames as a hostile peer sends them, split at arbitrary points and read under changing
// budgets: every step must stay within the announced and the capped length.
#include <cstddef>
#include <cstdint>

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "net/Connection.h"
#include "net/TCPReadPacket.h"

namespace {

// Hands out the input a few bytes per read, like a socket with a slow peer; at the end it
// answers what a socket answers once the peer has closed.
class Trickle : public i4_file {
public:
    Trickle(const uint8_t* d, size_t n, uint8_t pattern) : data(d), size_(n), pat(pattern) {}
    int32_t read(void* buf, int32_t n) override {
        if (at >= size_) return -1;
        int32_t chunk = 1 + (pat + calls++) % 7;
        if (n > chunk) n = chunk;
        if ((size_t)n > size_ - at) n = (int32_t)(size_ - at);
        for (int32_t i = 0; i < n; i++) static_cast<uint8_t*>(buf)[i] = data[at + i];
        at += (size_t)n;
        return n;
    }
    int32_t write(const void*, int32_t) override { return -1; }
    int64_t seek(int64_t) override { return 0; }
    int64_t size() override { return 0; }
    int64_t tell() override { return 0; }

private:
    const uint8_t* data;
    size_t size_;
    size_t at = 0;
    uint8_t pat;
    int32_t calls = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    uint8_t pattern = data[0];
    Trickle in(data + 1, size - 1, pattern);
    TCPReadPacket packet(0xE3, 64 * 1024);
    for (int steps = 0; steps < 100000; steps++) {
        Connection::receiveBudget = (pattern & 1) ? (steps % 13) : Connection::UNLIMITED_BUDGET;
        int32_t n = 0;
        int r = packet.readFrom(&in, &n);
        if (n < 0 || n > 64 * 1024 + 5) __builtin_trap();
        if (r == PACKET_ERROR) break;
        if (r == PACKET_COMPLETE) {
            if (packet.getSize() < 1 || (uint32_t)packet.getSize() > packet.maxPayload())
                __builtin_trap();
            try {
                i4_file& f = packet.file();
                f.read_8();
                f.read_32();
                f.read_16();
            } catch (const i4_err&) {
            }
            packet.reset();
        }
    }
    Connection::receiveBudget = Connection::UNLIMITED_BUDGET;
    return 0;
}
