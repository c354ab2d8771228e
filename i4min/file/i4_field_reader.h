// One thread at a time, like the file it reads.
#pragma once

#include <cstdint>
#include <vector>

class i4_file;
class i4_string;

// The one checked reader of little-endian fields, for every reader of bytes from a peer, a
// server or a file. Every length and count is checked against the bytes the file still holds
// (and against a cap) before anything is allocated or read; a short input or a refused length
// throws i4_err, which the reader's caller turns into false in one place
// (Serializable::checked for records). The file must know its size: a disk file, a safe file
// or a memory file such as a packet's payload.
class i4_field_reader {
public:
    explicit i4_field_reader(i4_file& f);

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    uint64_t u64();
    float f32();
    void bytes(void* out, int64_t n);
    // n bytes into a new block, n refused above cap.
    std::vector<uint8_t> block(int64_t n, int64_t cap);
    // A u32 count of items each at least minItemBytes long, refused above cap or when the
    // input cannot hold that many.
    uint32_t count32(uint32_t cap, int64_t minItemBytes);
    // A u16 length and that many bytes, of which the first keep are kept and the rest
    // skipped; a length of 0xFFFF is refused.
    void text(int keep, i4_string& out);
    void skip(int64_t n);
    // Refuses unless n more bytes are at hand.
    void need(int64_t n);
    int64_t left();
    int64_t position();
    i4_file& file() { return f; }

private:
    i4_file& f;
    int64_t end;  // the file's size, -1 until asked
};
