// Threads: one at a time; a table has no lock of its own (its owner's lock
// guards it). Values are never owned.
#pragma once

#include "i4min/string/i4_err.h"
#include "util/LL.h"
#include "util/LLView.h"

// The bucket array shared by HashTable32 and HashTable128: each bucket is an
// LL of inner lists, one per key present, in the order the keys first
// arrived; each inner list holds that key's values in the order they came.
// Inner supplies newInnerList, setKey, hasKey and the static bucketNumber.
template <class Inner, class Key>
class HashTableBase {
public:
    int bucketCount() const { return buckets; }
    // The bucket that holds (or would hold) the key; null without buckets.
    LL* bucketOf(Key key) const {
        return buckets ? &table[Inner::bucketNumber(key) % static_cast<unsigned>(buckets)]
                       : nullptr;
    }

    // Replaces the buckets, deleting the inner lists of the old ones.
    void setBucketCount(int n) {
        // Every key is taken modulo the count: 0 would divide by zero.
        if (n < 1) I4_ERROR("hash table needs at least one bucket");
        dropBuckets();
        table = new LL[n];
        buckets = n;
    }

    Inner* add(Key key, void* value) {
        if (!buckets) I4_ERROR("hash table used before its buckets were set");
        Inner* inner = getList(key);
        if (!inner) {
            inner = prototype->newInnerList();
            inner->setKey(key);
            bucketOf(key)->append(inner);
        }
        inner->append(value);
        return inner;
    }

    void remove(Key key, void* value) {
        Inner* inner = getList(key);
        if (!inner) return;
        inner->remove(value);
        if (!inner->first()) dropList(key, inner);
    }

    void removeKey(Key key) {
        if (Inner* inner = getList(key)) dropList(key, inner);
    }

    Inner* getList(Key key) const {
        LL* bucket = bucketOf(key);
        if (!bucket) return nullptr;
        for (Inner* inner : LLView<Inner>(bucket))
            if (inner->hasKey(key)) return inner;
        return nullptr;
    }

protected:
    explicit HashTableBase(Inner* proto)
        : prototype(proto ? proto : new Inner), buckets(0), table(nullptr) {}
    ~HashTableBase() {
        dropBuckets();
        delete prototype;
    }

    void dropList(Key key, Inner* inner) {
        bucketOf(key)->remove(inner);
        delete inner;
    }

    void dropBuckets() {
        for (int i = 0; i < buckets; i++)
            while (Inner* inner = static_cast<Inner*>(table[i].removeAt(0))) delete inner;
        delete[] table;
        table = nullptr;
        buckets = 0;
    }

    Inner* prototype;
    int buckets;
    LL* table;

private:
    HashTableBase(const HashTableBase&) = delete;
    HashTableBase& operator=(const HashTableBase&) = delete;
};
