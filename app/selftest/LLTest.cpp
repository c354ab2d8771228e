#include "app/selftest/LLTest.h"

#include <vector>

#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_random.h"
#include "util/LL.h"
#include "util/LLView.h"
#include "util/ListIterator.h"

namespace {

enum { RECORDS = 50, SORT_ROUNDS = 5000, ROUND_SIZE = 6 };

// The comparators put a null item last.
bool firstCharBefore(void* a, void* b) {
    if (!a || !b) return a != nullptr && b == nullptr;
    return static_cast<const char*>(a)[0] < static_cast<const char*>(b)[0];
}

bool valueBefore(void* a, void* b) {
    if (!a || !b) return a != nullptr && b == nullptr;
    return *static_cast<int*>(a) < *static_cast<int*>(b);
}

// One walk that removes the record numbered target and, after each removal,
// the record of a new random number if the rest of the walk meets it.
void removeWhileWalking(LL& list, int target, std::vector<bool>& removed) {
    ListIterator walk(&list);
    while (int* record = static_cast<int*>(walk.next())) {
        if (*record != target) continue;
        walk.removeCurrent();
        removed[*record] = true;
        target = i4_random(RECORDS);
    }
}

// The list holds exactly the numbers not removed, in ascending order.
bool holdsTheRest(const LL& list, const std::vector<bool>& removed) {
    int expected = 0;
    for (int* record : LLView<int>(list)) {
        while (expected < RECORDS && removed[expected]) ++expected;
        if (*record != expected) return false;
        ++expected;
    }
    while (expected < RECORDS && removed[expected]) ++expected;
    return expected == RECORDS;
}

void printTexts(const LL& list) {
    i4_string line("");
    for (const char* text : LLView<const char>(list)) {
        line.append(text);
        line.append(" ");
    }
    theUI->printLine("%s", line.c_str());
}

bool removalWhileWalking() {
    int records[RECORDS];
    LL list;
    for (int i = 0; i < RECORDS; ++i) {
        records[i] = i;
        list.append(&records[i]);
    }
    std::vector<bool> removed(RECORDS, false);
    removeWhileWalking(list, 49, removed);
    if (!holdsTheRest(list, removed)) return false;
    removeWhileWalking(list, 1, removed);
    if (!holdsTheRest(list, removed)) return false;
    for (int round = 0; round < 25; ++round) {
        removeWhileWalking(list, i4_random(RECORDS), removed);
        if (!holdsTheRest(list, removed)) return false;
    }
    return true;
}

bool sortingTexts() {
    const char* const texts[] = {"a", "a", "a", "b", "b", "b", "b", "c", "d",
                                 "e", "e", "e", "e", "e", "e", "f", "g"};
    const int count = sizeof texts / sizeof texts[0];
    LL list;
    for (const char* text : texts) list.append(const_cast<char*>(text));
    printTexts(list);
    for (int i = 0; i < 2; ++i) {
        list.shuffle();
        printTexts(list);
    }
    list.sort(firstCharBefore);
    printTexts(list);
    if (list.count() != count) return false;
    char last = 0;
    for (const char* text : LLView<const char>(list)) {
        if (text[0] < last) return false;
        last = text[0];
    }
    return true;
}

bool sortingNumbers() {
    for (int round = 0; round < SORT_ROUNDS; ++round) {
        int numbers[ROUND_SIZE];
        LL list;
        for (int& n : numbers) {
            n = i4_random(2) ? 0 : i4_random(20);
            list.append(&n);
        }
        LL sorted;
        sorted.appendAll(&list);
        sorted.sort(valueBefore);
        if (sorted.count() != ROUND_SIZE) return false;
        int last = 0;
        for (int* n : LLView<int>(sorted)) {
            if (*n < last) return false;
            last = *n;
        }
    }
    return true;
}

}  // namespace

bool LLTest::run() {
    theUI->printLine(" LL test:");
    return removalWhileWalking() && sortingTexts() && sortingNumbers();
}
