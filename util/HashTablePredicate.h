// Threads: as the table it is applied to.
#pragma once

// Decides which values HashTable128::retainIf keeps.
class HashTablePredicate {
public:
    virtual ~HashTablePredicate() {}
    // True to keep the value.
    virtual bool keep(void* value, void* argument) = 0;
};
