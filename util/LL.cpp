#include "util/LL.h"

#include "i4min/threads/linux/i4_random.h"

LL::LL() : tail(&head) {
    head.item = nullptr;
    head.next = &head;
}

LL::~LL() {
    clearNoLock();
}

LLNode* LL::append(void* item) {
    return appendNoLock(item);
}

LLNode* LL::appendNoLock(void* item) {
    if (!item) return nullptr;
    return insertAfter(tail, item);
}

void LL::prepend(void* item) {
    if (item) insertAfter(nullptr, item);
}

int LL::addUnique(void* item) {
    if (contains(item)) return 0;
    append(item);
    return 1;
}

void LL::set(int index, void* item) {
    if (!item) return;
    if (index >= 0) {
        LLNode* n = head.next;
        for (int i = 0; n != &head; n = n->next, i++) {
            if (i == index) {
                n->item = item;
                return;
            }
        }
    }
    append(item);
}

LLNode* LL::insertAt(int index, void* item) {
    if (!item) return nullptr;
    if (index == 0) return insertAfter(nullptr, item);
    if (index > 0) {
        LLNode* n = head.next;
        for (int i = 1; n != &head; n = n->next, i++) {
            if (i == index) return n->next == &head ? append(item) : insertAfter(n, item);
        }
    }
    return append(item);
}

LLNode* LL::insertAfter(LLNode* node, void* item) {
    if (!item) return nullptr;
    if (!node) node = &head;
    LLNode* n = new LLNode;
    n->item = item;
    n->next = node->next;
    node->next = n;
    if (node == tail) tail = n;
    return n;
}

int LL::remove(void* item) {
    return removeNoLock(item);
}

int LL::removeNoLock(void* item) {
    for (LLNode* prev = &head; prev->next != &head; prev = prev->next) {
        if (prev->next->item == item) {
            removeAfter(prev);
            return 1;
        }
    }
    return 0;
}

void* LL::removeAt(int index) {
    if (index < 0) return nullptr;
    LLNode* prev = &head;
    for (int i = 0; prev->next != &head; prev = prev->next, i++) {
        if (i == index) {
            void* item = prev->next->item;
            removeAfter(prev);
            return item;
        }
    }
    return nullptr;
}

LLNode* LL::removeAfter(LLNode* node) {
    if (!node) node = &head;
    LLNode* gone = node->next;
    if (gone == &head) return nullptr;
    node->next = gone->next;
    if (gone == tail) tail = node;
    delete gone;
    return node;
}

void LL::clear() {
    clearNoLock();
}

void LL::clearNoLock() {
    LLNode* n = head.next;
    while (n != &head) {
        LLNode* after = n->next;
        delete n;
        n = after;
    }
    head.next = &head;
    tail = &head;
}

int LL::count() const {
    return countNoLock();
}

int LL::countNoLock() const {
    int c = 0;
    for (const LLNode* n = head.next; n != &head; n = n->next) c++;
    return c;
}

void* LL::get(int index) const {
    return getAt(index);
}

void* LL::getAt(int index) const {
    if (index < 0) return nullptr;
    const LLNode* n = head.next;
    for (int i = 0; n != &head; n = n->next, i++) {
        if (i == index) return n->item;
    }
    return nullptr;
}

int LL::contains(void* item) const {
    for (const LLNode* n = head.next; n != &head; n = n->next) {
        if (n->item == item) return 1;
    }
    return 0;
}

void LL::appendAll(LL* other) {
    if (!other || other == this) return;
    LLNode* cursor = nullptr;
    while (void* item = next(other, &cursor)) append(item);
}

void LL::removeAll(LL* other) {
    if (!other) return;
    if (other == this) {
        clear();
        return;
    }
    LLNode* cursor = nullptr;
    while (void* item = next(other, &cursor)) remove(item);
}

void* LL::next(const LL* list, LLNode** cursor) {
    LLNode* sentinel = const_cast<LLNode*>(&list->head);
    if (*cursor == sentinel) return nullptr;
    LLNode* n = (*cursor ? *cursor : sentinel)->next;
    *cursor = n;
    return n->item;
}

void* LL::first() const {
    return head.next->item;
}

// Insertion sort that relinks the nodes in place. An item is put before the
// first item of the sorted part (from its second one) that does not sort
// before it, so equal items may change order; callers rely on nothing else.
template <class Less>
void LL::sortNodes(Less before) {
    LLNode* first = head.next;
    if (first == &head) return;
    LLNode* last = first;
    LLNode* v = first->next;
    while (v != &head) {
        LLNode* following = v->next;
        if (before(v->item, first->item)) {
            v->next = first;
            first = v;
        } else {
            LLNode* prev = first;
            while (prev != last && before(prev->next->item, v->item)) prev = prev->next;
            v->next = prev == last ? &head : prev->next;
            prev->next = v;
            if (prev == last) last = v;
        }
        v = following;
    }
    last->next = &head;
    head.next = first;
    tail = last;
}

void LL::sort(LLSortFuntor& order) {
    sortNodes([&order](void* a, void* b) { return order.compare(a, b); });
}

void LL::sort(LLSortFunction order) {
    sortNodes(order);
}

void LL::shuffle() {
    LL all;
    all.appendAll(this);
    clear();
    for (int n = all.count(); n > 0; n--) append(all.removeAt(i4_random(n)));
}
