#include <gtest/gtest.h>
#include <vector>

#include "util/LL.h"
#include "util/LLView.h"

namespace {

struct Item {
    int n;
};

std::vector<int> walk(const LL& list) {
    std::vector<int> seen;
    for (Item* i : LLView<Item>(list)) seen.push_back(i->n);
    return seen;
}

TEST(LLView, WalksEveryItemInOrderAndNothingOfAnEmptyList) {
    LL list;
    EXPECT_EQ(std::vector<int>{}, walk(list));
    Item a{1}, b{2}, c{3};
    list.append(&b);
    list.append(&c);
    list.prepend(&a);
    EXPECT_EQ((std::vector<int>{1, 2, 3}), walk(list));
}

// The walks it replaces remove items other than the current one as they go, and the
// current one just before they leave.
TEST(LLView, TheBodyMayRemoveWhatItHasPassedOrTheCurrentItemWhenItLeaves) {
    Item items[5] = {{0}, {1}, {2}, {3}, {4}};
    LL list;
    for (Item& i : items) list.append(&i);
    std::vector<int> seen;
    for (Item* i : LLView<Item>(list)) {
        seen.push_back(i->n);
        if (i->n == 2) list.remove(&items[0]);
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4}), seen);
    for (Item* i : LLView<Item>(&list)) {
        if (i->n == 3) {
            list.remove(i);
            break;
        }
    }
    EXPECT_EQ((std::vector<int>{1, 2, 4}), walk(list));
}

}  // namespace
