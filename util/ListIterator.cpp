#include "util/ListIterator.h"

ListIterator::ListIterator(LL* l) : list(l) {
    reset();
}

void ListIterator::reset() {
    returned = nullptr;
    before = nullptr;
    beforeCursor = nullptr;
    removed = false;
    cursor = nullptr;
    nextItem = LL::next(list, &cursor);
}

bool ListIterator::hasMore() const {
    return nextItem != nullptr;
}

void* ListIterator::next() {
    if (!nextItem) return nullptr;
    void* item = nextItem;
    before = beforeCursor;
    returned = cursor;
    removed = false;
    beforeCursor = cursor;
    nextItem = LL::next(list, &cursor);
    return item;
}

void ListIterator::skip(int n) {
    for (int i = 0; i < n && hasMore(); i++) next();
}

// Every insertion keeps 'before' and 'beforeCursor' the nodes really linked
// in front of 'returned' and 'cursor', so removeCurrent always unlinks the
// item last returned and never the one just inserted.
void ListIterator::insertBefore(void* item) {
    if (removed || !returned) {
        insertAfter(item);
        return;
    }
    LLNode* n = list->insertAfter(before, item);
    if (n) before = n;
}

void ListIterator::insertAfter(void* item) {
    LLNode* n = list->insertAfter(returned, item);
    if (n && returned == beforeCursor) beforeCursor = n;
}

void ListIterator::removeCurrent() {
    if (!returned || removed) return;
    list->removeAfter(before);
    if (beforeCursor == returned) beforeCursor = before;
    returned = before;
    removed = true;
}
