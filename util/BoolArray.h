// Threads: any; an array is used by one thread at a time or under its owner's lock.
#pragma once

#include <cstdint>

class i4_file;

// A bit array (which parts or crumbs of a file are present). Bit i is
// mask 1 << (i % 8) of byte i / 8; data holds count/8 + 1 bytes.
//
// Stored form (files and packets):
//   offset  width          meaning
//   0       2              bit count, little-endian (at most 65,535)
//   2       count/8 + 1    the data bytes; absent when the count is 0
class BoolArray {
public:
    static const uint32_t MAX_STORED_BITS = 0xFFFF;

    BoolArray();
    explicit BoolArray(uint32_t n);
    // Bit i is 1 when flags[i] is not 0.
    BoolArray(const uint8_t* flags, uint32_t n);
    BoolArray(const BoolArray& other);
    BoolArray& operator=(const BoolArray& other);
    ~BoolArray();

    uint32_t size() const { return count; }
    uint8_t* bytes() { return data; }
    const uint8_t* bytes() const { return data; }

    // Both report "boolarray out of bounds" for i at or above the count.
    int get(uint32_t i) const;
    void set(uint32_t i, int value);

    void fill(int value);
    bool all(int value) const;
    void resize(uint32_t n);
    // A null other clears every bit and keeps the count.
    void assign(const BoolArray* other);
    // min(count, len) characters '1'/'0', bit 0 first; buffer holds len + 1.
    void toString(char* buffer, uint32_t len) const;
    void randomize();

    // count/8 + 3; one more than stored for an empty array.
    uint32_t diskSize() const;
    // Bytes written, or -1 when the count does not fit the stored form or
    // the file failed.
    int32_t write(i4_file& f) const;
    // What the data read returned (0 for an empty array); a short read
    // leaves the rest 0. A short count field reports through read_16.
    int32_t read(i4_file& f);

private:
    uint32_t dataBytes() const { return count ? count / 8 + 1 : 0; }

    uint32_t count;
    uint8_t* data;
};
