#include <gtest/gtest.h>
#include <string>

#include "util/LLView.h"
#include "util/LLsafe.h"
#include "util/ListIterator.h"

namespace {

char letters[] = "abcdefghijklmnopqrstuvwxyz";

void* item(char c) {
    return &letters[c - 'a'];
}

std::string walk(const LL& l) {
    std::string s;
    for (void* p : LLView<void>(l)) s += *static_cast<char*>(p);
    return s;
}

// Script: n = next (its item is recorded, '0' for none), r = removeCurrent,
// A<c> = insertAfter c, B<c> = insertBefore c, L<c> = append c to the list.
struct Case {
    const char* list;
    const char* script;
    const char* visited;
    const char* after;
};

TEST(ListIterator, ScriptTable) {
    const Case cases[] = {
        {"", "n", "0", ""},
        {"abc", "nnr", "ab", "ac"},
        {"abc", "nrnrnr", "abc", ""},
        {"abc", "nrr", "a", "bc"},
        {"abc", "nrnnn", "abc0", "bc"},
        // Insertions keep the true predecessor: remove takes the item last returned.
        {"abc", "nAxnr", "ab", "axc"},
        {"abc", "nAxr", "a", "xbc"},
        {"abc", "nBxr", "a", "xbc"},
        {"abc", "nnBxr", "ab", "axc"},
        {"abc", "nAxAynr", "ab", "ayxc"},
        {"abc", "nBxByr", "a", "xybc"},
        {"abc", "nrBx", "a", "xbc"},
        {"abc", "nnrAxn", "abc", "axc"},
        {"abc", "nnnrLd", "abc", "abd"},
        {"abc", "nnnAxLy", "abc", "abcxy"},
        {"abc", "nnnrAxLy", "abc", "abxy"},
        // Before the first next there is nothing to remove; inserts go first
        // and are not visited by this walk.
        {"abc", "rAxnnnn", "abc0", "xabc"},
        {"abc", "BxnrLy", "a", "xbcy"},
        {"a", "nAxn", "a0", "ax"},
    };
    for (bool safe : {false, true}) {
        for (const Case& c : cases) {
            LL plain;
            LLsafe locked;
            LL& l = safe ? locked : plain;
            for (const char* p = c.list; *p; p++) l.append(item(*p));
            ListIterator it(&l);
            std::string visited;
            for (const char* s = c.script; *s; s++) {
                switch (*s) {
                case 'n': {
                    void* got = it.next();
                    visited += got ? *static_cast<char*>(got) : '0';
                    break;
                }
                case 'r':
                    it.removeCurrent();
                    break;
                case 'A':
                    it.insertAfter(item(*++s));
                    break;
                case 'B':
                    it.insertBefore(item(*++s));
                    break;
                case 'L':
                    l.append(item(*++s));
                    break;
                }
            }
            EXPECT_EQ(c.visited, visited) << c.list << " / " << c.script << (safe ? " safe" : "");
            EXPECT_EQ(c.after, walk(l)) << c.list << " / " << c.script << (safe ? " safe" : "");
        }
    }
}

TEST(ListIterator, HasMoreResetAndSkip) {
    LL l;
    ListIterator empty(&l);
    EXPECT_FALSE(empty.hasMore());
    EXPECT_EQ(nullptr, empty.next());

    for (char c : std::string("abcd")) l.append(item(c));
    ListIterator it(&l);
    it.skip(2);
    EXPECT_TRUE(it.hasMore());
    EXPECT_EQ(item('c'), it.next());
    it.skip(10);
    EXPECT_FALSE(it.hasMore());
    it.reset();
    EXPECT_EQ(item('a'), it.next());
}

}  // namespace
