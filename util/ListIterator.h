// The thread that owns the list (or holds its lock) for the whole walk.
#ifndef LISTITERATOR_H
#define LISTITERATOR_H

#include "util/LL.h"

// Walks an LL or LLsafe and inserts and removes around the item last returned.
// The next item is fetched in advance, so removing the current one is safe.
class ListIterator {
public:
    explicit ListIterator(LL* list);

    void reset();
    bool hasMore() const;
    // The next item, or null at the end.
    void* next();
    void skip(int n);
    // Before the item last returned (at the front before the first next).
    void insertBefore(void* item);
    // After the item last returned; this walk does not visit it.
    void insertAfter(void* item);
    // Removes the item last returned; once per next, later calls do nothing.
    void removeCurrent();

private:
    LL* list;
    LLNode* cursor;  // node of the next item
    void* nextItem;
    LLNode* returned;      // node of the item last returned; null before the first next
    LLNode* before;        // node linked before returned; null for the sentinel
    LLNode* beforeCursor;  // node linked before cursor; null for the sentinel
    bool removed;
};

#endif
