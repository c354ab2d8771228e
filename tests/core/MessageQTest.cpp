#include <climits>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "support/CapturedUI.h"
#include "util/RefCounter.h"

namespace {

// Counts its own deaths, so a test sees a payload freed exactly once.
struct Tracked {
    explicit Tracked(int v, int* deaths_ = nullptr) : value(v), deaths(deaths_) {}
    ~Tracked() {
        if (deaths) ++*deaths;
    }
    int value;
    int* deaths;
};

struct Shared : RefCounter {
    explicit Shared(int* deaths_) : deaths(deaths_) {}
    ~Shared() override { ++*deaths; }
    int* deaths;
};

struct Recorder : MessageHandler {
    std::vector<int> ids;
    std::vector<int> values;  // of Tracked payloads, -1 for none
    bool take = true;
    MessageQ* queue = nullptr;
    int postOnId = -1;  // when this id arrives, post postedId
    int postedId = -1;
    void handleMessage(Message* m) override {
        ids.push_back(m->id);
        Tracked* t = m->get<Tracked>();
        values.push_back(t ? t->value : -1);
        if (take) kept.push_back(m->take<Tracked>());
        if (m->id == postOnId) queue->post(postedId);
    }
    std::vector<std::unique_ptr<Tracked>> kept;
};

TEST(MessageQ, DeliversOneMessagePerPassInOrder) {
    MessageQ q;
    Recorder r;
    for (int id : {3, 7, 255, 0}) ASSERT_TRUE(q.setHandler(&r, id));
    const int posted[] = {7, 3, 255, 0};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(q.post(posted[i], std::make_unique<Tracked>(10 + i)));

    for (int pass = 1; pass <= 4; ++pass) {
        EXPECT_TRUE(q.run(0));
        ASSERT_EQ((size_t)pass, r.ids.size());
        EXPECT_EQ(posted[pass - 1], r.ids.back());
        EXPECT_EQ(10 + pass - 1, r.values.back());
        ASSERT_TRUE(r.kept.back());
        EXPECT_EQ(10 + pass - 1, r.kept.back()->value);
        EXPECT_EQ(4 - pass, q.pending());
    }
    EXPECT_FALSE(q.run(0));
}

TEST(MessageQ, AMessagePostedByAHandlerArrivesInALaterPass) {
    MessageQ q;
    Recorder r;
    r.queue = &q;
    r.postOnId = 5;
    r.postedId = 6;
    q.setHandler(&r, 5);
    q.setHandler(&r, 6);
    q.post(5);

    EXPECT_TRUE(q.run(0));
    EXPECT_EQ(std::vector<int>({5}), r.ids);
    EXPECT_EQ(1, q.pending());
    EXPECT_TRUE(q.run(0));
    EXPECT_EQ(std::vector<int>({5, 6}), r.ids);
    EXPECT_EQ(std::vector<int>({-1, -1}), r.values);
    EXPECT_FALSE(q.run(0));
}

TEST(MessageQ, FrontFlagPutsAMessageFirst) {
    MessageQ q;
    Recorder r;
    q.setHandler(&r, 1);
    q.setHandler(&r, 2);
    q.post(1, std::make_unique<Tracked>(1));
    q.post(2, std::make_unique<Tracked>(2), true);
    q.run(0);
    q.run(0);
    EXPECT_EQ(std::vector<int>({2, 1}), r.ids);
}

TEST(MessageQ, IdsOutsideTheTableAreRefusedAndTheirPayloadFreed) {
    const struct {
        int id;
        bool valid;
    } cases[] = {{INT_MIN, false}, {-1, false},  {0, true},     {27, true},
                 {255, true},      {256, false}, {1000, false}, {INT_MAX, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        int deaths = 0;  // outlives the payloads the recorder keeps
        MessageQ q;
        Recorder r;
        EXPECT_EQ(c.valid, q.setHandler(&r, c.id));
        EXPECT_EQ(c.valid, q.post(c.id, std::make_unique<Tracked>(1, &deaths)));
        EXPECT_EQ(c.valid ? 0 : 1, deaths);
        EXPECT_EQ(c.valid ? 1 : 0, q.pending());
        EXPECT_EQ(c.valid, q.run(0));
        EXPECT_EQ(c.valid ? 1u : 0u, r.ids.size());
    }
}

TEST(MessageQ, ALaterRegistrationReplacesTheEarlierOne) {
    MessageQ q;
    Recorder first, second;
    q.setHandler(&first, 9);
    q.setHandler(&second, 9);
    q.post(9);
    q.run(0);
    EXPECT_TRUE(first.ids.empty());
    EXPECT_EQ(std::vector<int>({9}), second.ids);
}

TEST(MessageQ, AnUnhandledMessageIsDroppedWithItsPayloadAndNamedOnlyInVerboseMode) {
    const struct {
        bool verbose;
        const char* output;
    } cases[] = {{false, ""}, {true, "Message Handler not found: 77\n"}};
    for (const auto& c : cases) {
        CapturedUI ui;
        ui.gateway.setVerbose(c.verbose);
        MessageQ q;
        int deaths = 0;
        q.post(77, std::make_unique<Tracked>(1, &deaths));
        EXPECT_FALSE(q.run(0));
        EXPECT_EQ(0, q.pending());
        EXPECT_EQ(1, deaths);
        EXPECT_EQ(c.output, ui.out.text());
    }
}

// A handler that only looks at the payload leaves it to the message, which frees it; one that
// takes it owns it.
TEST(MessageQ, APayloadTheHandlerDoesNotTakeDiesWithTheMessage) {
    MessageQ q;
    Recorder looker;
    looker.take = false;
    q.setHandler(&looker, 4);
    int deaths = 0;
    q.post(4, std::make_unique<Tracked>(8, &deaths));
    q.run(0);
    EXPECT_EQ(std::vector<int>({8}), looker.values);
    EXPECT_EQ(1, deaths);

    Recorder taker;
    q.setHandler(&taker, 4);
    q.post(4, std::make_unique<Tracked>(9, &deaths));
    q.run(0);
    EXPECT_EQ(1, deaths);
    taker.kept.clear();
    EXPECT_EQ(2, deaths);
}

TEST(MessageQ, DestroyingTheQueueFreesWhatIsStillQueued) {
    int deaths = 0;
    {
        MessageQ q;
        for (int i = 0; i < 5; ++i) q.post(i, std::make_unique<Tracked>(i, &deaths));
        EXPECT_EQ(5, q.pending());
        EXPECT_EQ(0, deaths);
    }
    EXPECT_EQ(5, deaths);
}

// A message naming a shared object holds a reference: the object outlives its other owners
// until the message goes, and a handler keeps it by counting its own reference.
TEST(MessageQ, ACountedPayloadKeepsItsObjectAliveUntilTheMessageGoes) {
    struct Keeper : MessageHandler {
        void handleMessage(Message* m) override {
            seen = m->get<Shared>();
            wrongType = m->get<Tracked>();
            notOwned = m->take<Shared>() != nullptr;
            if (keep) kept = CountedRef<Shared>(seen);
        }
        bool keep = false;
        Shared* seen = nullptr;
        Tracked* wrongType = nullptr;
        bool notOwned = false;
        CountedRef<Shared> kept;
    };
    for (bool keep : {false, true}) {
        SCOPED_TRACE(keep);
        MessageQ q;
        Keeper k;
        k.keep = keep;
        q.setHandler(&k, 11);
        int deaths = 0;
        Shared* object = new Shared(&deaths);
        {
            CountedRef<Shared> owner(object);
            q.post(11, owner);
            EXPECT_EQ(2, object->refCount());
        }
        // Its owner is gone; the queued message still holds it.
        EXPECT_EQ(0, deaths);
        EXPECT_TRUE(q.run(0));
        EXPECT_EQ(object, k.seen);
        EXPECT_EQ(nullptr, k.wrongType);
        EXPECT_FALSE(k.notOwned);
        EXPECT_EQ(keep ? 0 : 1, deaths);
        k.kept.reset();
        EXPECT_EQ(1, deaths);
    }
}

}  // namespace
