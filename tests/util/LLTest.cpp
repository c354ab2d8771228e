#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <stdint.h>
#include <string>

#include "util/LL.h"
#include "util/LLsafe.h"

namespace {

// Items are the letters of this text, so a list reads back as a string.
char letters[] = "abcdefghijklmnopqrstuvwxyz";

void* item(char c) {
    return &letters[c - 'a'];
}

char name(void* p) {
    return p ? *static_cast<char*>(p) : '0';
}

void fill(LL& l, const std::string& items) {
    for (char c : items) l.append(item(c));
}

std::string walk(const LL& l) {
    std::string s;
    LLNode* cursor = nullptr;
    while (void* p = LL::next(&l, &cursor)) s += name(p);
    return s;
}

std::unique_ptr<LL> make(bool safe) {
    return safe ? std::unique_ptr<LL>(new LLsafe) : std::unique_ptr<LL>(new LL);
}

struct Case {
    const char* name;
    std::string before;
    // Answers the operation's result as a letter or number, "" for none.
    std::function<std::string(LL&)> op;
    std::string result;
    std::string after;
};

std::string node(LLNode* n) {
    return n ? std::string(1, name(n->item)) : "null";
}

std::string letter(void* p) {
    return std::string(1, name(p));
}

TEST(LL, OperationsTable) {
    const Case cases[] = {
        {"append", "ab", [](LL& l) { return node(l.append(item('c'))); }, "c", "abc"},
        {"append null is refused", "ab", [](LL& l) { return node(l.append(nullptr)); }, "null",
         "ab"},
        {"prepend", "ab",
         [](LL& l) {
             l.prepend(item('c'));
             return "";
         },
         "", "cab"},
        {"prepend to empty sets the tail", "",
         [](LL& l) {
             l.prepend(item('a'));
             l.append(item('b'));
             return "";
         },
         "", "ab"},
        {"prepend null", "ab",
         [](LL& l) {
             l.prepend(nullptr);
             return "";
         },
         "", "ab"},
        {"addUnique present", "ab", [](LL& l) { return std::to_string(l.addUnique(item('a'))); },
         "0", "ab"},
        {"addUnique new", "ab", [](LL& l) { return std::to_string(l.addUnique(item('c'))); }, "1",
         "abc"},
        {"set replaces", "abc",
         [](LL& l) {
             l.set(1, item('x'));
             return "";
         },
         "", "axc"},
        {"set at count appends", "abc",
         [](LL& l) {
             l.set(3, item('x'));
             return "";
         },
         "", "abcx"},
        {"set negative appends", "abc",
         [](LL& l) {
             l.set(-1, item('x'));
             return "";
         },
         "", "abcx"},
        {"set null is refused", "abc",
         [](LL& l) {
             l.set(1, nullptr);
             return "";
         },
         "", "abc"},
        {"insertAt 0", "abc", [](LL& l) { return node(l.insertAt(0, item('x'))); }, "x", "xabc"},
        {"insertAt 0 of empty", "",
         [](LL& l) {
             l.insertAt(0, item('x'));
             l.append(item('y'));
             return "";
         },
         "", "xy"},
        {"insertAt 2", "abc", [](LL& l) { return node(l.insertAt(2, item('x'))); }, "x", "abxc"},
        {"insertAt count", "abc",
         [](LL& l) {
             l.insertAt(3, item('x'));
             l.append(item('y'));
             return "";
         },
         "", "abcxy"},
        {"insertAt past the end", "abc", [](LL& l) { return node(l.insertAt(9, item('x'))); }, "x",
         "abcx"},
        {"insertAt negative", "abc", [](LL& l) { return node(l.insertAt(-2, item('x'))); }, "x",
         "abcx"},
        {"remove first occurrence only", "abab",
         [](LL& l) { return std::to_string(l.remove(item('a'))); }, "1", "bab"},
        {"remove missing", "abc", [](LL& l) { return std::to_string(l.remove(item('x'))); }, "0",
         "abc"},
        {"remove last moves the tail", "abc",
         [](LL& l) {
             l.remove(item('c'));
             l.append(item('d'));
             return "";
         },
         "", "abd"},
        {"removeAt middle", "abc", [](LL& l) { return letter(l.removeAt(1)); }, "b", "ac"},
        {"removeAt negative", "abc", [](LL& l) { return letter(l.removeAt(-1)); }, "0", "abc"},
        {"removeAt count", "abc", [](LL& l) { return letter(l.removeAt(3)); }, "0", "abc"},
        {"removeAt last moves the tail", "abc",
         [](LL& l) {
             l.removeAt(2);
             l.append(item('d'));
             return "";
         },
         "", "abd"},
        {"removeAt only item", "a",
         [](LL& l) {
             l.removeAt(0);
             l.append(item('d'));
             return "";
         },
         "", "d"},
        {"get", "abc", [](LL& l) { return letter(l.get(2)); }, "c", "abc"},
        {"get negative", "abc", [](LL& l) { return letter(l.get(-1)); }, "0", "abc"},
        {"get count", "abc", [](LL& l) { return letter(l.get(3)); }, "0", "abc"},
        {"first", "bc", [](LL& l) { return letter(l.first()); }, "b", "bc"},
        {"first of empty", "", [](LL& l) { return letter(l.first()); }, "0", ""},
        {"count", "abcd", [](LL& l) { return std::to_string(l.count()); }, "4", "abcd"},
        {"contains", "abc", [](LL& l) { return std::to_string(l.contains(item('c'))); }, "1",
         "abc"},
        {"contains not", "abc", [](LL& l) { return std::to_string(l.contains(item('x'))); }, "0",
         "abc"},
        {"clear then reuse", "abc",
         [](LL& l) {
             l.clear();
             l.append(item('x'));
             return "";
         },
         "", "x"},
        {"removeAfter null removes the first", "abc",
         [](LL& l) { return node(l.removeAfter(nullptr)); }, "0", "bc"},
        {"removeAfter null of empty", "", [](LL& l) { return node(l.removeAfter(nullptr)); },
         "null", ""},
        {"removeAfter the tail", "abc",
         [](LL& l) {
             LLNode* cursor = nullptr;
             for (int i = 0; i < 3; i++) LL::next(&l, &cursor);
             return node(l.removeAfter(cursor));
         },
         "null", "abc"},
        {"removeAfter before the tail moves it", "abc",
         [](LL& l) {
             LLNode* cursor = nullptr;
             LL::next(&l, &cursor);
             LL::next(&l, &cursor);
             std::string r = node(l.removeAfter(cursor));
             l.append(item('d'));
             return r;
         },
         "b", "abd"},
        {"insertAfter the tail moves it", "ab",
         [](LL& l) {
             LLNode* cursor = nullptr;
             LL::next(&l, &cursor);
             LL::next(&l, &cursor);
             l.insertAfter(cursor, item('x'));
             l.append(item('y'));
             return "";
         },
         "", "abxy"},
        {"appendAll", "ab",
         [](LL& l) {
             LL o;
             fill(o, "cd");
             l.appendAll(&o);
             return std::to_string(o.count());
         },
         "2", "abcd"},
        {"appendAll null", "ab",
         [](LL& l) {
             l.appendAll(nullptr);
             return "";
         },
         "", "ab"},
        {"removeAll", "abcab",
         [](LL& l) {
             LL o;
             fill(o, "bx");
             l.removeAll(&o);
             return "";
         },
         "", "acab"},
        {"removeAll null", "ab",
         [](LL& l) {
             l.removeAll(nullptr);
             return "";
         },
         "", "ab"},
    };
    for (bool safe : {false, true}) {
        for (const Case& c : cases) {
            std::unique_ptr<LL> l = make(safe);
            fill(*l, c.before);
            EXPECT_EQ(c.result, c.op(*l)) << c.name << (safe ? " (safe)" : "");
            EXPECT_EQ(c.after, walk(*l)) << c.name << (safe ? " (safe)" : "");
            EXPECT_EQ((int)c.after.size(), l->count()) << c.name << (safe ? " (safe)" : "");
        }
    }
}

TEST(LL, WalkStaysAtTheEnd) {
    LL l;
    fill(l, "ab");
    LLNode* cursor = nullptr;
    EXPECT_EQ(item('a'), LL::next(&l, &cursor));
    EXPECT_EQ(item('b'), LL::next(&l, &cursor));
    EXPECT_EQ(nullptr, LL::next(&l, &cursor));
    EXPECT_EQ(nullptr, LL::next(&l, &cursor));
}

struct Key {
    int key;
    char tag;
};

bool keyBefore(void* a, void* b) {
    return static_cast<Key*>(a)->key < static_cast<Key*>(b)->key;
}

class KeyOrder : public LLSortFuntor {
public:
    bool compare(void* a, void* b) override { return keyBefore(a, b); }
};

TEST(LL, SortTable) {
    struct SortCase {
        std::vector<Key> keys;
        std::string want;  // tags in the sorted order
    };
    // Equal keys behind the first place may change order: the insertion stops
    // at the first equal item it meets.
    const SortCase cases[] = {
        {{}, ""},
        {{{5, 'a'}}, "a"},
        {{{3, 'c'}, {1, 'a'}, {2, 'b'}}, "abc"},
        {{{4, 'd'}, {3, 'c'}, {2, 'b'}, {1, 'a'}}, "abcd"},
        {{{1, 'a'}, {2, 'b'}, {3, 'c'}}, "abc"},
        {{{1, 'a'}, {2, 'x'}, {2, 'y'}, {2, 'z'}}, "azyx"},
        {{{2, 'x'}, {2, 'y'}}, "xy"},
        {{{2, 'x'}, {1, 'a'}, {2, 'y'}}, "ayx"},
        {{{7, 'g'}, {1, 'a'}, {7, 'h'}, {0, '0'}, {5, 'e'}}, "0aehg"},
    };
    for (bool safe : {false, true}) {
        for (int how = 0; how < 2; how++) {
            for (const SortCase& c : cases) {
                std::vector<Key> keys = c.keys;
                std::unique_ptr<LL> l = make(safe);
                for (Key& k : keys) l->append(&k);
                KeyOrder order;
                if (how == 0)
                    l->sort(order);
                else
                    l->sort(keyBefore);
                Key last = {99, 'L'};
                l->append(&last);  // the tail must be the last sorted node
                std::string got;
                LLNode* cursor = nullptr;
                while (void* p = LL::next(l.get(), &cursor)) got += static_cast<Key*>(p)->tag;
                EXPECT_EQ(c.want + "L", got)
                    << "case " << c.want << " sort " << how << (safe ? " safe" : "");
            }
        }
    }
}

TEST(LL, ShuffleKeepsEveryItemAndChangesTheOrder) {
    const std::string items = "abcdefghij";
    bool reordered = false;
    for (bool safe : {false, true}) {
        for (int round = 0; round < 20; round++) {
            std::unique_ptr<LL> l = make(safe);
            fill(*l, items);
            l->shuffle();
            l->append(item('z'));
            std::string got = walk(*l);
            ASSERT_EQ(items.size() + 1, got.size());
            EXPECT_EQ('z', got.back());
            got.pop_back();
            reordered = reordered || got != items;
            std::sort(got.begin(), got.end());
            EXPECT_EQ(items, got);
        }
    }
    EXPECT_TRUE(reordered);
    LL empty;
    empty.shuffle();
    EXPECT_EQ(0, empty.count());
}

}  // namespace
