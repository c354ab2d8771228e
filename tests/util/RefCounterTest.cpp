#include <gtest/gtest.h>
#include <thread>
#include <vector>

#include "util/CountedRef.h"
#include "util/RefCounter.h"

namespace {

struct Counted : RefCounter {
    explicit Counted(int* deaths) : deaths(deaths) {}
    ~Counted() override { ++*deaths; }
    int* deaths;
};

TEST(RefCounter, ReleaseDeletesAtZero) {
    int deaths = 0;
    Counted* fresh = new Counted(&deaths);
    EXPECT_EQ(fresh->release(), 1);
    EXPECT_EQ(deaths, 1);

    Counted* held = new Counted(&deaths);
    EXPECT_EQ(held->addRef(), held);
    held->addRef();
    EXPECT_EQ(held->release(), 0);
    EXPECT_EQ(deaths, 1);
    EXPECT_EQ(held->release(), 1);
    EXPECT_EQ(deaths, 2);
}

TEST(RefCounter, ConcurrentOwnersDeleteExactlyOnce) {
    int deaths = 0;
    for (int round = 0; round < 20; round++) {
        Counted* obj = new Counted(&deaths);
        const int threads = 4, perThread = 2000;
        for (int i = 0; i < threads * perThread; i++) obj->addRef();
        obj->addRef();  // the test's own reference
        std::vector<std::thread> ts;
        for (int t = 0; t < threads; t++)
            ts.emplace_back([obj] {
                for (int i = 0; i < perThread; i++) obj->release();
            });
        for (auto& t : ts) t.join();
        ASSERT_EQ(obj->refCount(), 1) << "lost updates in round " << round;
        EXPECT_EQ(obj->release(), 1);
    }
    EXPECT_EQ(deaths, 20);
}

// Copies count, moves hand over, assignment gives back what was held: the object dies with
// its last reference, once.
TEST(CountedRef, CopiesCountMovesHandOverAndTheLastReferenceDeletes) {
    int deaths = 0;
    Counted* a = new Counted(&deaths);
    Counted* b = new Counted(&deaths);
    {
        CountedRef<Counted> first(a);
        EXPECT_EQ(1, a->refCount());
        CountedRef<Counted> copy(first);
        EXPECT_EQ(2, a->refCount());
        CountedRef<Counted> moved(std::move(copy));
        EXPECT_EQ(2, a->refCount());
        EXPECT_FALSE(copy);
        EXPECT_EQ(a, moved.get());

        CountedRef<Counted> other(b);
        other = first;  // b's only reference goes
        EXPECT_EQ(1, deaths);
        EXPECT_EQ(3, a->refCount());
        CountedRef<Counted>& alias = other;  // a self-assignment the compiler does not flag
        other = alias;
        EXPECT_EQ(3, a->refCount());
    }
    EXPECT_EQ(2, deaths);
}

}  // namespace
