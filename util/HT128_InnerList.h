// Threads: as its table.
#pragma once

#include <cstdint>
#include <cstring>

#include "util/LL.h"
#include "util/UniqueID.h"

// The values stored under one 16-byte key of a HashTable128.
class HT128_InnerList : public LL {
public:
    HT128_InnerList() { UniqueID::clear(key); }
    virtual HT128_InnerList* newInnerList() { return new HT128_InnerList; }

    const uint8_t* getKey() const { return key; }
    void setKey(const uint8_t* k) { UniqueID::copy(key, k); }
    bool hasKey(const uint8_t* k) const { return UniqueID::equals(key, k); }
    // The key's first four bytes as a little-endian number.
    static uint32_t bucketNumber(const uint8_t* k) {
        return static_cast<uint32_t>(k[0]) | static_cast<uint32_t>(k[1]) << 8 |
               static_cast<uint32_t>(k[2]) << 16 | static_cast<uint32_t>(k[3]) << 24;
    }

private:
    uint8_t key[16];
};
