#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "i4min/string/i4_err.h"
#include "util/HashTable128.h"
#include "util/HashTable32.h"
#include "util/HashTablePredicate.h"
#include "util/LLView.h"

namespace {

// Values are plain integers stored as pointers (never null).
void* v(intptr_t n) {
    return reinterpret_cast<void*>(n);
}

std::vector<intptr_t> values(const LL* list) {
    std::vector<intptr_t> out;
    if (!list) return out;
    for (void* item : LLView<void>(list)) out.push_back(reinterpret_cast<intptr_t>(item));
    return out;
}

std::vector<uint32_t> keysOfBucket(const LL* bucket) {
    std::vector<uint32_t> out;
    for (void* item : LLView<void>(bucket))
        out.push_back(static_cast<HT32_InnerList*>(item)->getKey());
    return out;
}

TEST(HashTable32, BucketsAndOrderTable) {
    HashTable32 t;
    t.setBucketCount(17);
    // (key, value) in the order they are added.
    const std::pair<uint32_t, intptr_t> adds[] = {{22, 1}, {5, 2}, {39, 3},          {5, 4},
                                                  {22, 5}, {5, 2}, {0xFFFFFFFFu, 6}, {16, 7}};
    EXPECT_EQ(t.getList(22), nullptr);
    for (const auto& a : adds) t.add(a.first, v(a.second));

    const struct {
        uint32_t key;
        std::vector<intptr_t> values;
        std::vector<uint32_t> bucketKeys;  // the key's bucket, inner lists in arrival order
    } expect[] = {
        {5, {2, 4, 2}, {22, 5, 39}},  // 5, 22 and 39 all fall in bucket 5
        {22, {1, 5}, {22, 5, 39}},
        {39, {3}, {22, 5, 39}},
        {0xFFFFFFFFu, {6}, {0xFFFFFFFFu}},  // taken unsigned: bucket 0, never a negative one
        {16, {7}, {16}},
    };
    for (const auto& e : expect) {
        SCOPED_TRACE(e.key);
        HT32_InnerList* l = t.getList(e.key);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->getKey(), e.key);
        EXPECT_EQ(values(l), e.values);
        EXPECT_EQ(t.bucketOf(e.key), t.bucketOf(e.key % 17));
        EXPECT_EQ(keysOfBucket(t.bucketOf(e.key)), e.bucketKeys);
    }
    EXPECT_EQ(t.getList(6), nullptr);
    EXPECT_EQ(t.bucketCount(), 17);
}

TEST(HashTable32, RemoveTable) {
    const struct {
        const char* what;
        std::vector<intptr_t> before;
        intptr_t removed;
        std::vector<intptr_t> after;  // empty: the inner list is gone
    } cases[] = {
        {"first of two", {2, 3}, 2, {3}},
        {"last one removes the list", {3}, 3, {}},
        {"absent value changes nothing", {2, 3}, 9, {2, 3}},
        {"only the first occurrence", {2, 3, 2}, 2, {3, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HashTable32 t;
        t.setBucketCount(17);
        for (intptr_t x : c.before) t.add(7, v(x));
        t.add(24, v(100));  // a neighbour in the same bucket stays as it was
        t.remove(7, v(c.removed));
        if (c.after.empty()) {
            EXPECT_EQ(t.getList(7), nullptr);
            EXPECT_EQ(keysOfBucket(t.bucketOf(7)), std::vector<uint32_t>{24});
        } else {
            EXPECT_EQ(values(t.getList(7)), c.after);
        }
        EXPECT_EQ(values(t.getList(24)), std::vector<intptr_t>{100});
    }
    HashTable32 t;
    t.setBucketCount(3);
    t.remove(1, v(1));  // a key that is not there
    t.add(1, v(1));
    t.add(1, v(2));
    t.removeKey(1);
    EXPECT_EQ(t.getList(1), nullptr);
    t.removeKey(1);
}

TEST(HashTable32, ZeroBucketsAreRefused) {
    HashTable32 t;
    EXPECT_EQ(t.getList(5), nullptr);
    t.remove(5, v(1));
    t.removeKey(5);
    EXPECT_THROW(t.add(5, v(1)), i4_err);
    EXPECT_THROW(t.setBucketCount(0), i4_err);
    EXPECT_THROW(t.setBucketCount(-3), i4_err);
    t.setBucketCount(1);
    t.add(5, v(1));
    EXPECT_EQ(values(t.getList(5)), std::vector<intptr_t>{1});
}

struct CountingList : HT32_InnerList {
    static int made;
    static int deleted;
    CountingList() { made++; }
    ~CountingList() override { deleted++; }
    HT32_InnerList* newInnerList() override { return new CountingList; }
};
int CountingList::made = 0;
int CountingList::deleted = 0;

TEST(HashTable32, PrototypeMakesTheInnerListsAndEveryListIsDeleted) {
    CountingList::made = CountingList::deleted = 0;
    {
        HashTable32 t(new CountingList);
        t.setBucketCount(4);
        t.add(1, v(1));
        t.add(2, v(1));
        t.add(1, v(2));
        EXPECT_NE(dynamic_cast<CountingList*>(t.getList(2)), nullptr);
        EXPECT_EQ(CountingList::made, 3);  // prototype and two keys
        t.remove(2, v(1));
        EXPECT_EQ(CountingList::deleted, 1);
        t.setBucketCount(8);  // the old lists go with the old buckets
        EXPECT_EQ(CountingList::deleted, 2);
        EXPECT_EQ(t.getList(1), nullptr);
        t.add(3, v(3));
    }
    EXPECT_EQ(CountingList::deleted, CountingList::made);
}

struct Id {
    uint8_t b[16];
};

Id id(uint32_t first4, uint8_t last) {
    Id x;
    memset(x.b, 0, sizeof x.b);
    x.b[0] = first4 & 0xFF;
    x.b[1] = (first4 >> 8) & 0xFF;
    x.b[2] = (first4 >> 16) & 0xFF;
    x.b[3] = first4 >> 24;
    x.b[15] = last;
    return x;
}

TEST(HashTable128, BucketIsTheFirstFourBytesLittleEndian) {
    HashTable128 t;
    t.setBucketCount(17);
    const struct {
        uint32_t first4;
        int bucket;
    } cases[] = {{0, 0}, {22, 5}, {0x01000000, 0x01000000 % 17}, {0xFFFFFFFFu, 0xFFFFFFFFu % 17}};
    LL* bucket0 = t.bucketOf(id(0, 0).b);
    for (const auto& c : cases)
        EXPECT_EQ(t.bucketOf(id(c.first4, 9).b), bucket0 + c.bucket) << c.first4;
}

TEST(HashTable128, IdsDifferingLateShareABucketButNotAList) {
    HashTable128 t;
    t.setBucketCount(17);
    Id a = id(1234, 1), b = id(1234, 2);
    HT128_InnerList* la = t.add(a.b, v(10));
    EXPECT_EQ(t.getList(b.b), nullptr);
    HT128_InnerList* lb = t.add(b.b, v(20));
    EXPECT_NE(la, lb);
    EXPECT_EQ(t.add(a.b, v(11)), la);
    EXPECT_EQ(t.bucketOf(a.b), t.bucketOf(b.b));
    EXPECT_EQ(t.bucketOf(a.b)->count(), 2);
    EXPECT_EQ(values(t.getList(a.b)), (std::vector<intptr_t>{10, 11}));
    EXPECT_TRUE(UniqueID::equals(t.getList(b.b)->getKey(), b.b));
    EXPECT_EQ(t.countAll(), 3);

    t.remove(b.b, v(20));
    EXPECT_EQ(t.getList(b.b), nullptr);
    EXPECT_EQ(t.countAll(), 2);
}

struct KeepBelow : HashTablePredicate {
    bool keep(void* value, void* argument) override {
        return reinterpret_cast<intptr_t>(value) < reinterpret_cast<intptr_t>(argument);
    }
};

TEST(HashTable128, RetainIfKeepsEmptyInnerLists) {
    HashTable128 t;
    t.setBucketCount(5);
    Id a = id(1, 0), b = id(2, 0), c = id(6, 0);
    for (intptr_t x : {1, 7, 3, 9}) t.add(a.b, v(x));
    t.add(b.b, v(8));
    t.add(c.b, v(2));
    KeepBelow below;
    t.retainIf(below, v(5));
    EXPECT_EQ(values(t.getList(a.b)), (std::vector<intptr_t>{1, 3}));
    ASSERT_NE(t.getList(b.b), nullptr);
    EXPECT_EQ(t.getList(b.b)->count(), 0);
    EXPECT_EQ(values(t.getList(c.b)), std::vector<intptr_t>{2});
    EXPECT_EQ(t.countAll(), 3);
    HashTable128 empty;
    empty.retainIf(below, v(0));
    EXPECT_EQ(empty.countAll(), 0);
    EXPECT_THROW(empty.add(a.b, v(1)), i4_err);
}

}  // namespace
