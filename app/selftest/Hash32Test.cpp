#include "app/selftest/Hash32Test.h"

#include <cstdint>
#include <vector>

#include "core/UIGateway.h"
#include "i4min/threads/linux/i4_random.h"
#include "util/HashTable32.h"
#include "util/LLView.h"

namespace {

uint32_t randomKey() {
    return ((uint32_t)i4_random(0x10000) << 16) | (uint32_t)i4_random(0x10000);
}

// The values under the key in their order; empty when the key is absent.
std::vector<void*> valuesOf(const HashTable32& table, uint32_t key) {
    std::vector<void*> values;
    if (HT32_InnerList* list = table.getList(key)) {
        for (void* v : LLView<void>(list)) values.push_back(v);
    }
    return values;
}

}  // namespace

bool Hash32Test::run() {
    theUI->printLine(" HashTable32 test:");
    HashTable32 table;
    table.setBucketCount(17);
    int a = 1, b = 2, c = 3, d = 4;
    const uint32_t k1 = randomKey();
    uint32_t k2 = randomKey();
    // k2, k2 + 1 and k2 + 3 must all differ from k1.
    while (k2 == k1 || k2 + 1 == k1 || k2 + 3 == k1) k2 = randomKey();
    typedef std::vector<void*> Values;

    table.add(k1, &a);
    if (valuesOf(table, k1) != Values{&a} || table.getList(k2)) return false;
    table.add(k2, &b);
    table.add(k2, &c);
    if (valuesOf(table, k2) != Values{&b, &c}) return false;
    table.remove(k2, &b);
    if (valuesOf(table, k2) != Values{&c}) return false;
    table.remove(k2, &c);
    if (table.getList(k2)) return false;

    table.add(k2, &b);
    table.add(k2 + 1, &c);
    table.add(k2 + 3, &d);
    if (valuesOf(table, k2) != Values{&b} || valuesOf(table, k2 + 1) != Values{&c} ||
        valuesOf(table, k2 + 3) != Values{&d})
        return false;
    table.remove(k2 + 3, &b);
    if (valuesOf(table, k2 + 3) != Values{&d} || valuesOf(table, k2) != Values{&b}) return false;
    table.remove(k2 + 3, &d);
    return !table.getList(k2 + 3) && valuesOf(table, k2) == Values{&b} &&
           valuesOf(table, k2 + 1) == Values{&c} && valuesOf(table, k1) == Values{&a};
}
