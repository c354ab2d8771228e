#include "util/LLsafe.h"

#include "i4min/threads/linux/i4_lock.h"

LLsafe::LLsafe() {}

LLsafe::~LLsafe() {}

void LLsafe::lock() {
    mutex.lock();
}

void LLsafe::unlock() {
    mutex.unlock();
}

void* LLsafe::first() const {
    i4_lock hold(&mutex);
    return LL::first();
}

LLNode* LLsafe::append(void* item) {
    i4_lock hold(&mutex);
    return LL::appendNoLock(item);
}

void LLsafe::prepend(void* item) {
    i4_lock hold(&mutex);
    LL::prepend(item);
}

void LLsafe::set(int index, void* item) {
    {
        i4_lock hold(&mutex);
        if (!item) return;
        if (index >= 0 && index < countNoLock()) {
            LL::set(index, item);
            return;
        }
    }
    append(item);
}

int LLsafe::remove(void* item) {
    i4_lock hold(&mutex);
    return removeNoLock(item);
}

void* LLsafe::removeAt(int index) {
    i4_lock hold(&mutex);
    return LL::removeAt(index);
}

void LLsafe::clear() {
    i4_lock hold(&mutex);
    clearNoLock();
}

int LLsafe::count() const {
    i4_lock hold(&mutex);
    return countNoLock();
}

void* LLsafe::get(int index) const {
    i4_lock hold(&mutex);
    return getAt(index);
}

void LLsafe::appendAll(LL* other) {
    if (!other || other == this) return;
    i4_lock hold(&mutex);
    LLNode* cursor = nullptr;
    while (void* item = next(other, &cursor)) appendNoLock(item);
}

void LLsafe::removeAll(LL* other) {
    if (!other) return;
    i4_lock hold(&mutex);
    if (other == this) {
        clearNoLock();
        return;
    }
    LLNode* cursor = nullptr;
    while (void* item = next(other, &cursor)) removeNoLock(item);
}

void LLsafe::sort(LLSortFuntor& order) {
    i4_lock hold(&mutex);
    LL::sort(order);
}

void LLsafe::sort(LLSortFunction order) {
    i4_lock hold(&mutex);
    LL::sort(order);
}
