#include "i4min/threads/linux/i4_lock.h"

i4_lock::i4_lock(i4_mutex* m) : mutex(m) {
    mutex->lock();
}

i4_lock::~i4_lock() {
    mutex->unlock();
}
