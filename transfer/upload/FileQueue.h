// The core task thread only, like the upload queue that owns it.
#pragma once

#include <stdint.h>

#include "util/LL.h"

class UserMeta;

// The peers waiting for one file, first in first out. The list owns its UserMeta copies.
class FileQueue : public LL {
public:
    FileQueue(const uint8_t hash[16], int priority);
    ~FileQueue() override;

    void push(UserMeta* user);
    void pushFront(UserMeta* user);
    // The head, now the caller's, or null.
    UserMeta* pop();
    // The entry that is the same user, with its place counted from 1; null when absent.
    UserMeta* find(UserMeta* user, int* position);
    // Its file is shared, or the hashing pass is over and no file is left to come back.
    bool isServable();

    const uint8_t* getHash() const { return hash; }
    int getPriority() const { return priority; }
    void setPriority(int p) { priority = p; }
    int getCount() const { return waiting; }

private:
    uint8_t hash[16];
    int priority;
    int waiting;
};
