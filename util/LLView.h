// Like LL: one thread at a time, or under the lock that guards the list.
#pragma once

#include "util/LL.h"

// A typed walk over an LL, for range-for: `for (Download* d : LLView<Download>(list))`.
// It steps exactly as LL::next does, so the same rule holds: the body may remove items
// other than the current one, or the current one only when it leaves the loop at once.
template <class T>
class LLView {
public:
    explicit LLView(const LL* list) : list(list) {}
    explicit LLView(const LL& list) : list(&list) {}

    class iterator {
    public:
        iterator(const LL* list, bool atEnd) : list(list) {
            if (!atEnd) item = LL::next(list, &cursor);
        }
        T* operator*() const { return static_cast<T*>(item); }
        iterator& operator++() {
            item = LL::next(list, &cursor);
            return *this;
        }
        bool operator!=(const iterator& other) const { return item != other.item; }

    private:
        const LL* list;
        LLNode* cursor = nullptr;
        void* item = nullptr;
    };

    iterator begin() const { return iterator(list, false); }
    iterator end() const { return iterator(list, true); }

private:
    const LL* list;
};
