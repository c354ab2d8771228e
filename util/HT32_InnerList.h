// Threads: as its table.
#pragma once

#include <cstdint>

#include "util/LL.h"

// The values stored under one 32-bit key of a HashTable32.
class HT32_InnerList : public LL {
public:
    HT32_InnerList() : key(0) {}
    // A fresh, empty list of the same kind; the table calls it on its
    // prototype whenever a key arrives for the first time.
    virtual HT32_InnerList* newInnerList() { return new HT32_InnerList; }

    uint32_t getKey() const { return key; }
    void setKey(uint32_t k) { key = k; }
    bool hasKey(uint32_t k) const { return key == k; }
    static uint32_t bucketNumber(uint32_t k) { return k; }

private:
    uint32_t key;
};
