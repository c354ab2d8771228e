#include "app/selftest/IterTest.h"

#include <cstring>
#include <string>

#include "core/UIGateway.h"
#include "i4min/string/i4_string.h"
#include "util/LL.h"
#include "util/LLView.h"
#include "util/ListIterator.h"

namespace {

// The items of the list joined, and a report when that is not expected.
bool reads(const LL& list, const char* expected) {
    std::string items;
    for (const char* item : LLView<const char>(list)) items += item;
    if (items == expected) return true;
    i4_string report;
    report.format("Failed at: %s (", expected);
    for (const char* item : LLView<const char>(list)) report.append(item);
    report.append(")\n");
    theUI->print("%s", report.c_str());
    return false;
}

// The walk's next item is the one expected (null: the end).
bool nextIs(ListIterator& walk, const char* expected) {
    const char* item = static_cast<const char*>(walk.next());
    return expected ? item && strcmp(item, expected) == 0 : item == nullptr;
}

void* text(const char* t) {
    return const_cast<char*>(t);
}

}  // namespace

bool IterTest::run() {
    theUI->printLine(" ListIterator test:");
    LL list;
    for (const char* t : {"a", "b", "c", "d", "e", "f", "g"}) list.append(text(t));
    if (!reads(list, "abcdefg")) return false;

    {  // the current item removed: first, inside, last
        ListIterator walk(&list);
        if (!nextIs(walk, "a")) return false;
        walk.removeCurrent();
        if (!reads(list, "bcdefg")) return false;
        if (!nextIs(walk, "b") || !nextIs(walk, "c") || !nextIs(walk, "d")) return false;
        walk.removeCurrent();
        if (!reads(list, "bcefg")) return false;
        if (!nextIs(walk, "e") || !nextIs(walk, "f") || !nextIs(walk, "g")) return false;
        walk.removeCurrent();
        if (!reads(list, "bcef") || !nextIs(walk, nullptr)) return false;
    }
    {  // inserted after the last item: the walk ends without it
        ListIterator walk(&list);
        walk.skip(4);
        walk.insertAfter(text("g"));
        if (!reads(list, "bcefg") || !nextIs(walk, nullptr)) return false;
    }
    {  // after and before the first item
        ListIterator walk(&list);
        if (!nextIs(walk, "b")) return false;
        walk.insertAfter(text("7"));
        if (!reads(list, "b7cefg")) return false;
        walk.insertBefore(text("a"));
        if (!reads(list, "ab7cefg") || !nextIs(walk, "c")) return false;
    }
    {
        ListIterator walk(&list);
        if (!nextIs(walk, "a") || !nextIs(walk, "b") || !nextIs(walk, "7")) return false;
        walk.insertAfter(text("1"));
        if (!reads(list, "ab71cefg") || !nextIs(walk, "c")) return false;
    }
    {
        ListIterator walk(&list);
        walk.skip(3);
        if (!nextIs(walk, "1")) return false;
        walk.insertAfter(text("2"));
        if (!nextIs(walk, "c") || !nextIs(walk, "e") || !nextIs(walk, "f")) return false;
        walk.insertAfter(text("2"));
        if (!reads(list, "ab712cef2g") || !nextIs(walk, "g")) return false;
    }
    {  // removals in a row
        ListIterator walk(&list);
        walk.skip(2);
        for (const char* t : {"7", "1", "2"}) {
            if (!nextIs(walk, t)) return false;
            walk.removeCurrent();
        }
        if (!reads(list, "abcef2g") || !nextIs(walk, "c")) return false;
    }
    return true;
}
