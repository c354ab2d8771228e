// Any thread. The list's nodes are guarded by its own non-recursive mutex: while holding lock(),
// use LL::next and the NoLock operations only, since a locking operation would deadlock.
#ifndef LLSAFE_H
#define LLSAFE_H

#include "i4min/threads/linux/i4_mutex.h"
#include "util/LL.h"

class LLsafe : public LL {
public:
    LLsafe();
    ~LLsafe() override;

    void lock();
    void unlock();
    void* first() const;

    LLNode* append(void* item) override;
    void prepend(void* item) override;
    void set(int index, void* item) override;
    int remove(void* item) override;
    void* removeAt(int index) override;
    void clear() override;
    int count() const override;
    void* get(int index) const override;
    void appendAll(LL* other) override;
    void removeAll(LL* other) override;
    void sort(LLSortFuntor& order) override;
    void sort(LLSortFunction order) override;

private:
    mutable i4_mutex mutex;
};

#endif
