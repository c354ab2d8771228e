#include "util/HashTable128.h"

#include "util/HashTablePredicate.h"
#include "util/LLView.h"
#include "util/ListIterator.h"

int HashTable128::countAll() const {
    int n = 0;
    for (int i = 0; i < buckets; i++) {
        for (HT128_InnerList* inner : LLView<HT128_InnerList>(&table[i])) n += inner->count();
    }
    return n;
}

void HashTable128::retainIf(HashTablePredicate& predicate, void* argument) {
    for (int i = 0; i < buckets; i++) {
        for (HT128_InnerList* inner : LLView<HT128_InnerList>(&table[i])) {
            ListIterator it(inner);
            while (it.hasMore()) {
                void* value = it.next();
                if (!predicate.keep(value, argument)) it.removeCurrent();
            }
        }
    }
}
