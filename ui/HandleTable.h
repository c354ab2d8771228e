// Any thread; `lock` guards the table.
#pragma once

#include <cstdint>
#include <mutex>
#include <unordered_map>

// The u32 handles by which the remote control names downloads and upload slots: an object
// keeps its handle while it lives, and no two live objects share one. A handle is made at
// first use and forgotten when the object's end is reported.
class HandleTable {
public:
    HandleTable();

    // The object's handle, made now when it has none; 0 for null.
    uint32_t handleFor(const void* object);
    // The object is gone: its handle is never given again.
    void forget(const void* object);
    int size();

private:
    std::mutex lock;
    std::unordered_map<const void*, uint32_t> handles;
    uint32_t next;
};
