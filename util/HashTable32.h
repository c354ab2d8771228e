// Threads: one at a time; the owner's lock guards the table. Values are
// never owned.
#pragma once

#include <cstdint>

#include "util/HT32_InnerList.h"
#include "util/HashTableBase.h"

// A multimap from an unsigned 32-bit key to a list of values; the bucket of
// a key is key mod the bucket count. setBucketCount (at least 1) comes
// before anything is added.
class HashTable32 : public HashTableBase<HT32_InnerList, uint32_t> {
public:
    // A null prototype makes plain HT32_InnerLists. The table owns it.
    explicit HashTable32(HT32_InnerList* prototype = nullptr) : HashTableBase(prototype) {}
    ~HashTable32() {}
};
