#include "util/HashTable128.h"

#include "util/HashTablePredicate.h"
#include "util/ListIterator.h"

int HashTable128::countAll() const {
    int n = 0;
    for (int i = 0; i < buckets; i++) {
        LLNode* cursor = nullptr;
        while (HT128_InnerList* inner = static_cast<HT128_InnerList*>(LL::next(&table[i], &cursor)))
            n += inner->count();
    }
    return n;
}

void HashTable128::retainIf(HashTablePredicate& predicate, void* argument) {
    for (int i = 0; i < buckets; i++) {
        LLNode* cursor = nullptr;
        while (HT128_InnerList* inner =
                   static_cast<HT128_InnerList*>(LL::next(&table[i], &cursor))) {
            ListIterator it(inner);
            while (it.hasMore()) {
                void* value = it.next();
                if (!predicate.keep(value, argument)) it.removeCurrent();
            }
        }
    }
}
