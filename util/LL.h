// One thread at a time: an LL has no lock of its own (see LLsafe). The list never owns its items.
#ifndef LL_H
#define LL_H

struct LLNode {
    void* item;
    LLNode* next;
};

// The order of a sort: true when a sorts before b; compare (x, x) must be false.
class LLSortFuntor {
public:
    virtual ~LLSortFuntor() {}
    virtual bool compare(void* a, void* b) = 0;
};

typedef bool (*LLSortFunction)(void* a, void* b);

// A singly linked ring of item pointers through an embedded sentinel, whose
// item is null: a walk ends at the first null item, so null is never stored.
class LL {
public:
    LL();
    virtual ~LL();
    LL(const LL&) = delete;
    LL& operator=(const LL&) = delete;

    // The new node, or null when item is null.
    virtual LLNode* append(void* item);
    virtual void prepend(void* item);
    // 0 when the item is already there, else appends it and answers 1.
    virtual int addUnique(void* item);
    // Replaces the item at index; appends when there is none.
    virtual void set(int index, void* item);
    // The item gets the index; an index outside 0..count-1 appends.
    virtual LLNode* insertAt(int index, void* item);
    // Removes the first node holding exactly this pointer: 1, else 0.
    virtual int remove(void* item);
    virtual void* removeAt(int index);
    virtual void clear();
    virtual int count() const;
    virtual void* get(int index) const;
    // Unlinks the node after the given one (after the sentinel for null) and
    // returns the given one (the sentinel for null); null when nothing follows.
    virtual LLNode* removeAfter(LLNode* node);
    virtual int contains(void* item) const;
    virtual void appendAll(LL* other);
    virtual void removeAll(LL* other);
    virtual void sort(LLSortFuntor& order);
    virtual void sort(LLSortFunction order);
    virtual void shuffle();

    // After the given node (after the sentinel for null). Like set and
    // insertAt it refuses a null item, which would end every walk there.
    LLNode* insertAfter(LLNode* node, void* item);
    // The plain walk: a null cursor starts before the first node; each call
    // moves the cursor on and returns its item, null at the end (and after it).
    static void* next(const LL* list, LLNode** cursor);
    void* first() const;

    // LL's own operations, for an LLsafe's holder of the lock.
    LLNode* appendNoLock(void* item);
    int removeNoLock(void* item);
    int countNoLock() const;
    void clearNoLock();
    void* getAt(int index) const;

protected:
    template <class Less>
    void sortNodes(Less before);

    LLNode head;
    LLNode* tail;
};

#endif
