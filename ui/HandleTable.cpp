#include "ui/HandleTable.h"

#include "i4min/threads/linux/i4_lock.h"

HandleTable::HandleTable() : next(1) {}

uint32_t HandleTable::handleFor(const void* object) {
    if (!object) return 0;
    i4_lock hold(&lock);
    auto at = handles.find(object);
    if (at != handles.end()) return at->second;
    uint32_t h = next++;
    // 0 names nothing; after 2^32 objects the count wraps past it.
    if (next == 0) next = 1;
    handles.emplace(object, h);
    return h;
}

void HandleTable::forget(const void* object) {
    i4_lock hold(&lock);
    handles.erase(object);
}

int HandleTable::size() {
    i4_lock hold(&lock);
    return (int)handles.size();
}
