#include <climits>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/MessageQ.h"
#include "support/CapturedUI.h"

namespace {

struct Recorder : MessageHandler {
    std::vector<int> ids;
    std::vector<void*> data;
    MessageQ* queue = nullptr;
    int postOnId = -1;  // when this id arrives, post postedId
    int postedId = -1;
    void handleMessage(Message* m) override {
        ids.push_back(m->id);
        data.push_back(m->data);
        if (m->id == postOnId) queue->post(postedId, nullptr);
    }
};

TEST(MessageQ, DeliversOneMessagePerPassInOrder) {
    MessageQ q;
    Recorder r;
    for (int id : {3, 7, 255, 0}) ASSERT_TRUE(q.setHandler(&r, id));
    int payload[4];
    const int posted[] = {7, 3, 255, 0};
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(q.post(posted[i], &payload[i]));

    for (int pass = 1; pass <= 4; ++pass) {
        EXPECT_TRUE(q.run(0));
        ASSERT_EQ((size_t)pass, r.ids.size());
        EXPECT_EQ(posted[pass - 1], r.ids.back());
        EXPECT_EQ(&payload[pass - 1], r.data.back());
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
    q.post(5, nullptr);

    EXPECT_TRUE(q.run(0));
    EXPECT_EQ(std::vector<int>({5}), r.ids);
    EXPECT_EQ(1, q.pending());
    EXPECT_TRUE(q.run(0));
    EXPECT_EQ(std::vector<int>({5, 6}), r.ids);
    EXPECT_FALSE(q.run(0));
}

TEST(MessageQ, FrontFlagPutsAMessageFirst) {
    MessageQ q;
    Recorder r;
    q.setHandler(&r, 1);
    q.setHandler(&r, 2);
    q.post(1, nullptr);
    q.post(2, nullptr, true);
    q.run(0);
    q.run(0);
    EXPECT_EQ(std::vector<int>({2, 1}), r.ids);
}

TEST(MessageQ, IdsOutsideTheTableAreRefused) {
    const struct {
        int id;
        bool valid;
    } cases[] = {{INT_MIN, false}, {-1, false},  {0, true},     {27, true},
                 {255, true},      {256, false}, {1000, false}, {INT_MAX, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        MessageQ q;
        Recorder r;
        EXPECT_EQ(c.valid, q.setHandler(&r, c.id));
        EXPECT_EQ(c.valid, q.post(c.id, nullptr));
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
    q.post(9, nullptr);
    q.run(0);
    EXPECT_TRUE(first.ids.empty());
    EXPECT_EQ(std::vector<int>({9}), second.ids);
}

TEST(MessageQ, AnUnhandledMessageIsDroppedAndNamedOnlyInVerboseMode) {
    const struct {
        bool verbose;
        const char* output;
    } cases[] = {{false, ""}, {true, "Message Handler not found: 77\n"}};
    for (const auto& c : cases) {
        CapturedUI ui;
        ui.gateway.setVerbose(c.verbose);
        MessageQ q;
        int payload = 0;
        q.post(77, &payload);
        EXPECT_FALSE(q.run(0));
        EXPECT_EQ(0, q.pending());
        EXPECT_EQ(c.output, ui.out.text());
    }
}

// Queued messages die with the queue (LeakSanitizer sees a leak otherwise);
// their payloads stay their posters' (a double free otherwise).
TEST(MessageQ, DestroyingTheQueueFreesWhatIsStillQueued) {
    int* payload = new int(0);
    {
        MessageQ q;
        for (int i = 0; i < 5; ++i) q.post(i, payload);
        EXPECT_EQ(5, q.pending());
    }
    delete payload;
}

}  // namespace
