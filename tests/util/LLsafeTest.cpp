#include <gtest/gtest.h>
#include <stdint.h>
#include <thread>
#include <vector>

#include "util/LLView.h"
#include "util/LLsafe.h"

namespace {

TEST(LLsafe, ConcurrentAppendsAndRemovesKeepTheList) {
    const int perThread = 2000;
    const int threads = 4;
    std::vector<int> items(perThread * threads);
    LLsafe l;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++) {
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; i++) l.append(&items[t * perThread + i]);
            // Take back every other item of this thread's own.
            for (int i = 0; i < perThread; i += 2) l.remove(&items[t * perThread + i]);
        });
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(threads * perThread / 2, l.count());
    for (int t = 0; t < threads; t++) {
        EXPECT_FALSE(l.contains(&items[t * perThread]));
        EXPECT_TRUE(l.contains(&items[t * perThread + 1]));
    }
}

TEST(LLsafe, HolderOfTheLockWalksAndRemovesWithoutLocking) {
    int a = 1, b = 2, c = 3;
    LLsafe l;
    l.append(&a);
    l.append(&b);
    l.append(&c);
    std::thread other([&] {
        for (int i = 0; i < 1000; i++) {
            int n = l.count();
            EXPECT_EQ(3, n);  // the holder's remove and re-append is never seen half done
        }
    });
    l.lock();
    for (void* p : LLView<void>(l)) {
        if (p == &b) break;
    }
    l.removeNoLock(&b);
    l.appendNoLock(&b);
    EXPECT_EQ(3, l.countNoLock());
    EXPECT_EQ(&a, l.getAt(0));
    EXPECT_EQ(&b, l.getAt(2));
    l.unlock();
    other.join();
    EXPECT_EQ(&a, l.first());
}

}  // namespace
