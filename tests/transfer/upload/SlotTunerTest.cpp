// The slot tuner on a fake pool and a fake clock: when it adds or pauses a slot on trial,
// and the verdicts that keep or remove it.
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "support/CapturedUI.h"
#include "transfer/upload/SlotTuner.h"

namespace {

struct FakeSlot {
    bool busy = true;  // has an upload
    bool pending = false;
    int priority = 0;
    bool paused = false;
};

// A pool of fake slots whose rates the test sets; records what the tuner did.
struct FakeHost : SlotTuner::Host {
    std::vector<FakeSlot*> slots;
    std::vector<std::string> done;
    double send = 0, upload = 0, limit = 0, peak = 0;

    ~FakeHost() override {
        for (FakeSlot* s : slots) delete s;
    }
    static FakeSlot* of(UploadSlot* s) { return reinterpret_cast<FakeSlot*>(s); }
    static UploadSlot* as(FakeSlot* s) { return reinterpret_cast<UploadSlot*>(s); }
    void make(int busy, int idle = 0, int priority = 0) {
        for (int i = 0; i < busy + idle; i++) {
            FakeSlot* s = new FakeSlot;
            s->busy = i < busy;
            s->priority = priority;
            slots.push_back(s);
        }
    }
    double sendRate() override { return send; }
    double uploadRate() override { return upload; }
    double uploadLimit() override { return limit; }
    double peakRate() override { return peak; }
    void countSlots(int* count, int* idle, double* weight) override {
        *count = (int)slots.size();
        *idle = 0;
        *weight = 0;
        for (FakeSlot* s : slots) {
            if (!s->busy && !s->pending) (*idle)++;
            if (!s->busy) *weight += 3.0;
        }
    }
    UploadSlot* addSlot() override {
        done.push_back("add");
        FakeSlot* s = new FakeSlot;
        s->busy = false;
        slots.push_back(s);
        return as(s);
    }
    UploadSlot* firstAfterShuffle() override {
        FakeSlot* best = nullptr;
        for (FakeSlot* s : slots)
            if (!best || s->priority < best->priority) best = s;
        return as(best);
    }
    int priorityOf(UploadSlot* s) override { return of(s)->priority; }
    const char* nameOf(UploadSlot*) override { return "peer"; }
    void pause(UploadSlot* s) override {
        done.push_back("pause");
        of(s)->paused = true;
    }
    void resume(UploadSlot* s) override {
        done.push_back("resume");
        of(s)->paused = false;
    }
    void remove(UploadSlot* s) override {
        done.push_back("remove");
        for (size_t i = 0; i < slots.size(); i++) {
            if (slots[i] == of(s)) {
                delete slots[i];
                slots.erase(slots.begin() + (long)i);
                return;
            }
        }
    }
};

std::string joined(const std::vector<std::string>& v) {
    std::string out;
    for (const std::string& s : v) out += (out.empty() ? "" : ",") + s;
    return out;
}

TEST(SlotTunerTest, TheEvaluationAddsOrPausesASlotOnlyWhereThePartSays) {
    struct Case {
        const char* what;
        int busy, idle, priority;
        double send, limit, peak;
        const char* actions;
        int state;
    } cases[] = {
        {"an idle slot: no shortage", 3, 1, 0, 0.5, 10, 0, "", SlotTuner::IDLE},
        {"8.5 below 9 with three busy slots", 3, 0, 0, 8.5, 10, 0, "add", SlotTuner::WAIT_UPLOAD},
        {"0.4 a slot with four slots", 4, 0, 0, 1.6, 10, 0, "", SlotTuner::IDLE},
        {"fewer than four slots add at any rate", 3, 0, 0, 0.3, 10, 0, "add",
         SlotTuner::WAIT_UPLOAD},
        {"between the marks", 4, 0, 0, 9.2, 10, 0, "", SlotTuner::IDLE},
        {"9.6 above 9.5 with four slots", 4, 0, 0, 9.6, 10, 0, "pause", SlotTuner::DROP_TRIAL},
        {"every slot a partner's", 4, 0, 30000, 9.6, 10, 0, "", SlotTuner::IDLE},
        {"above the mark with three slots", 3, 0, 0, 9.6, 10, 0, "", SlotTuner::IDLE},
        {"5 a slot is not weak", 4, 0, 0, 20, 10, 0, "", SlotTuner::IDLE},
        {"no limit: the peak decides", 3, 0, 0, 17, 0, 20, "add", SlotTuner::WAIT_UPLOAD},
        {"no limit, near the peak", 4, 0, 0, 19.5, 0, 20, "pause", SlotTuner::DROP_TRIAL},
    };
    CapturedUI console;
    for (const Case& c : cases) {
        FakeHost host;
        host.make(c.busy, c.idle, c.priority);
        host.send = c.send;
        host.limit = c.limit;
        host.peak = c.peak;
        SlotTuner tuner(host);
        tuner.tick(SlotTuner::EVALUATE_MS);  // not yet: the timer must exceed 5 s
        EXPECT_TRUE(host.done.empty()) << c.what;
        tuner.tick(1);
        EXPECT_EQ(c.actions, joined(host.done)) << c.what;
        EXPECT_EQ(c.state, tuner.getState()) << c.what;
    }
}

// Runs a tuner from an added slot to its verdict.
struct AddTrial {
    FakeHost host;
    SlotTuner tuner{host};
    AddTrial() {
        host.make(3);
        host.limit = 10;
        host.send = 5;
        tuner.tick(SlotTuner::EVALUATE_MS + 1);
        host.done.clear();
    }
};

TEST(SlotTunerTest, AnAddedSlotStaysOnlyWhenTheRateGrewByMoreThanATenth) {
    CapturedUI console;
    struct Case {
        double later;
        const char* actions;
        int state;
    } cases[] = {
        {5.6, "", SlotTuner::IDLE},             // 5.6 x 0.9 = 5.04 > 5
        {5.5, "remove", SlotTuner::COOL_DOWN},  // 4.95 is not
    };
    for (const Case& c : cases) {
        AddTrial t;
        EXPECT_EQ(SlotTuner::WAIT_UPLOAD, t.tuner.getState());
        t.tuner.tick(60000);  // waiting for an upload: no verdict
        t.host.upload = 5;
        t.tuner.uploadStarted();
        EXPECT_EQ(SlotTuner::ADD_TRIAL, t.tuner.getState());
        t.host.upload = c.later;
        t.tuner.tick(SlotTuner::ADD_TRIAL_MS);
        EXPECT_EQ(SlotTuner::ADD_TRIAL, t.tuner.getState()) << c.later;
        t.tuner.tick(1);
        EXPECT_EQ(c.actions, joined(t.host.done)) << c.later;
        EXPECT_EQ(c.state, t.tuner.getState()) << c.later;
        EXPECT_EQ(c.state == SlotTuner::IDLE ? 4u : 3u, t.host.slots.size()) << c.later;
    }
}

TEST(SlotTunerTest, APausedSlotGoesWhenTheRateHeldAndIsResumedOtherwise) {
    CapturedUI console;
    struct Case {
        double later;
        const char* actions;
    } cases[] = {
        {9.2, "pause,remove"},  // 9.2 x 1.05 = 9.66 > 9.6
        {9.1, "pause,resume"},  // 9.555 is not
    };
    for (const Case& c : cases) {
        FakeHost host;
        host.make(4);
        host.limit = 10;
        host.send = 9.6;
        host.upload = 9.6;
        SlotTuner tuner(host);
        tuner.tick(SlotTuner::EVALUATE_MS + 1);
        ASSERT_EQ(SlotTuner::DROP_TRIAL, tuner.getState());
        host.upload = c.later;
        tuner.tick(SlotTuner::DROP_TRIAL_MS);
        tuner.tick(1);
        EXPECT_EQ(c.actions, joined(host.done)) << c.later;
        EXPECT_EQ(SlotTuner::COOL_DOWN, tuner.getState());
        // The cool-down ends after 60 s, not before.
        tuner.tick(SlotTuner::COOL_DOWN_MS);
        EXPECT_EQ(SlotTuner::COOL_DOWN, tuner.getState());
        tuner.tick(1);
        EXPECT_EQ(SlotTuner::IDLE, tuner.getState());
    }
}

TEST(SlotTunerTest, AnyUploadEndingCutsATrialShort) {
    CapturedUI console;
    {
        AddTrial t;
        t.tuner.uploadStarted();
        t.tuner.uploadEnded();
        EXPECT_EQ(SlotTuner::COOL_DOWN, t.tuner.getState());
        EXPECT_EQ(nullptr, t.tuner.getTrialSlot());
        EXPECT_EQ(4u, t.host.slots.size());  // the added slot stays
    }
    {
        FakeHost host;
        host.make(4);
        host.limit = 10;
        host.send = 9.6;
        SlotTuner tuner(host);
        tuner.tick(SlotTuner::EVALUATE_MS + 1);
        // Another upload starting counts as an end of the trial too.
        tuner.uploadStarted();
        EXPECT_EQ("pause,resume", joined(host.done));
        EXPECT_EQ(SlotTuner::COOL_DOWN, tuner.getState());
    }
}

}  // namespace
