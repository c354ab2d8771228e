// Threads: one at a time; the owner's lock guards the table. Values are
// never owned.
#pragma once

#include <cstdint>

#include "util/HT128_InnerList.h"
#include "util/HashTableBase.h"

class HashTablePredicate;

// A multimap from a 16-byte id to a list of values; the bucket of an id is
// its first four bytes (little-endian) mod the bucket count. setBucketCount
// (at least 1) comes before anything is added.
class HashTable128 : public HashTableBase<HT128_InnerList, const uint8_t*> {
public:
    explicit HashTable128(HT128_InnerList* prototype = nullptr) : HashTableBase(prototype) {}
    ~HashTable128() {}

    // The number of values under all keys.
    int countAll() const;
    // Removes every value for which the predicate answers false; inner lists
    // left empty stay in their buckets.
    void retainIf(HashTablePredicate& predicate, void* argument);
};
