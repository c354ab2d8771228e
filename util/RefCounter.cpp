#include "util/RefCounter.h"

RefCounter* RefCounter::addRef() {
    count.fetch_add(1);
    return this;
}

int RefCounter::release() {
    // Only the release that brings the count to 0 or below deletes, so two
    // threads releasing the last two references cannot both delete.
    if (count.fetch_sub(1) - 1 <= 0) {
        delete this;
        return 1;
    }
    return 0;
}
