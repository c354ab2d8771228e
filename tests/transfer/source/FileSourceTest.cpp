#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

#include "../SourceTestSupport.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_Partner.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FSS_Unasked.h"

using namespace sourcetest;

namespace {

struct FileSourceTest : SourceFixture {};

struct OneCrumbSource : SourceFixture {
    OneCrumbSource() : SourceFixture(1) {}
};

TEST_F(OneCrumbSource, OnlyTheConnectionGivenMakesTheSingleCrumbKnown) {
    TestPeer* c = peer(0x11);
    FileSource given(c->getUser(), download, c);
    EXPECT_TRUE(given.isStatusKnown());
    EXPECT_EQ(1, given.getAvailability()->get(0));

    UserMeta nobody = peertest::user(0x0200000A, 4662, 0x12, "nobody");
    FileSource alone(&nobody, download, nullptr);
    EXPECT_TRUE(alone.isStatusKnown());
    EXPECT_EQ(1, alone.getAvailability()->get(0));

    // Found in the connection pool: that says nothing yet about what the peer has.
    TestPeer* listed = peer(0x13);
    theClientPool.addPeer(listed);
    FileSource found(listed->getUser(), download, nullptr);
    EXPECT_EQ(listed, found.getConnection());
    EXPECT_FALSE(found.isStatusKnown());
    EXPECT_EQ(0, found.getAvailability()->get(0));
    theClientPool.removePeer(listed);
}

TEST_F(FileSourceTest, ACrumbIndexPastTheEndIsTakenAndChangesNothing) {
    TestPeer* c = peer(0x14);
    std::unique_ptr<FileSource> s = source(c);
    std::vector<int> before = weights();
    EXPECT_TRUE(s->gotCrumbAvailable(c, 5));
    EXPECT_EQ(before, weights());
    EXPECT_TRUE(s->getAvailability()->all(0));
    EXPECT_TRUE(s->gotCrumbAvailable(c, 2));
    EXPECT_EQ(1, weights()[2]);
    EXPECT_FALSE(s->gotCrumbAvailable(peer(0x15), 3)) << "another connection's notice";
}

TEST_F(FileSourceTest, ReleasingARangeMovesLaterOnesDownInTwoSteps) {
    TestPeer* c = peer(0x16);
    std::unique_ptr<FileSource> s = source(c);
    struct Case {
        int released;
        std::vector<uint32_t> ends;  // the three slots afterwards
    } cases[] = {{0, {2, 0, 3}}, {1, {1, 3, 0}}, {2, {1, 2, 0}}};
    for (const Case& k : cases) {
        for (int i = 0; i < 3; i++) {
            s->requestStart(i) = (uint32_t)i * 10;
            s->requestEnd(i) = (uint32_t)i + 1;
        }
        s->releaseRequest(k.released);
        uint32_t st[3], en[3];
        s->getRequests(st, en);
        EXPECT_EQ(k.ends, std::vector<uint32_t>(en, en + 3)) << "released " << k.released;
        for (int i = 0; i < 3; i++) s->requestStart(i) = s->requestEnd(i) = 0;
    }
}

TEST_F(FileSourceTest, CoolDownAndStatusAgeRunOut) {
    TestPeer* c = peer(0x17);
    std::unique_ptr<FileSource> s = source(c);
    BoolArray all = bits({0, 1, 2, 3, 4}, 5);
    s->gotFileStatus(c, &all);
    s->setState(new FSS_Transfering(s.get()));
    s->setCoolDown(600000);
    s->tick(600000);
    EXPECT_EQ(1200000, s->getCoolDown());
    s->tick(1);
    EXPECT_EQ(0, s->getCoolDown());
    s->setCoolDown(1);
    s->tick(1199999);
    EXPECT_NE(0, s->getCoolDown());
    s->tick(1);
    EXPECT_EQ(0, s->getCoolDown());
    // The knowledge of the peer's crumbs goes stale even while transferring.
    EXPECT_FALSE(s->isStatusKnown()) << "1,800,001 ms since the status";
    s->gotFileStatus(c, &all);
    s->tick(900000);
    EXPECT_TRUE(s->isStatusKnown());
    s->tick(1);
    EXPECT_FALSE(s->isStatusKnown());
    EXPECT_EQ(1, s->getAvailability()->get(3)) << "the bits stay";
}

TEST_F(FileSourceTest, BackOffLimitsAreWholeMillisecondsOfAnExactProduct) {
    // 600,000 x 2.4^n, cut to whole milliseconds; a floating-point power drifts below some.
    const int64_t limits[] = {600000, 1440000, 3456000, 8294400, 19906560, 47775744};
    for (int n = 0; n <= 5; n++) EXPECT_EQ(limits[n], FSS_Gone::limitFor(n)) << n;
    TestPeer* c = peer(0x18);
    std::unique_ptr<FileSource> s = source(c);
    s->setRetries(3);
    s->setState(new FSS_Gone(s.get()));
    EXPECT_EQ(8294400, ((FSS_Gone*)s->getState())->getLimit());
}

// Per crumb the map's weight is the sum of the weights of the sources holding it, through
// statuses, crumb notices, partnerships beginning and ending and sources going; the ranges
// the sources hold never overlap.
TEST_F(FileSourceTest, CrumbWeightsFollowTheSourcesAndRangesNeverOverlap) {
    std::mt19937 rng(7);
    std::vector<TestPeer*> conns;
    std::vector<std::unique_ptr<FileSource>> list;
    for (uint8_t i = 0; i < 4; i++) {
        conns.push_back(peer((uint8_t)(0x40 + i)));
        list.push_back(source(conns.back()));
    }
    auto check = [&] {
        std::vector<int> want(5, 0);
        for (auto& s : list)
            for (int c = 0; c < 5; c++)
                if (s->getAvailability()->get((uint32_t)c))
                    want[(size_t)c] += s->getState()->getWeight();
        EXPECT_EQ(want, weights());
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (auto& s : list) {
            uint32_t st[3], en[3];
            s->getRequests(st, en);
            for (int i = 0; i < 3; i++)
                if (en[i]) ranges.push_back({st[i], en[i]});
        }
        for (size_t a = 0; a < ranges.size(); a++)
            for (size_t b = a + 1; b < ranges.size(); b++)
                EXPECT_FALSE(ranges[a].first < ranges[b].second &&
                             ranges[b].first < ranges[a].second)
                    << ranges[a].first << "-" << ranges[a].second << " and " << ranges[b].first
                    << "-" << ranges[b].second;
    };
    for (int step = 0; step < 300; step++) {
        size_t i = rng() % list.size();
        FileSource* s = list[i].get();
        TestPeer* c = conns[i];
        switch (rng() % 6) {
        case 0: {
            BoolArray b(5);
            for (uint32_t k = 0; k < 5; k++) b.set(k, (int)(rng() % 2));
            s->gotFileStatus(c, &b);
            break;
        }
        case 1:
            s->gotCrumbAvailable(c, rng() % 6);
            break;
        case 2:
            s->setState(new FSS_Transfering(s));
            break;
        case 3:
            s->setState(new FSS_Partner(s));
            break;
        case 4:
            if (rng() % 2)
                s->releaseRequest((int)(rng() % 3));
            else
                s->setState(new FSS_Unasked(s));
            break;
        case 5:
            // The source goes and a new one of the same peer takes its place.
            list[i].reset();
            list[i] = source(c);
            break;
        }
        check();
        if (HasFailure()) return;
    }
}

struct TwoCrumbSources : SourceFixture {
    TwoCrumbSources() : SourceFixture(2) {}
    int outstanding(FileSourceInterface* s) {
        uint32_t st[3], en[3];
        s->getRequests(st, en);
        return (en[0] != 0) + (en[1] != 0) + (en[2] != 0);
    }
};

// A source with nothing left to ask takes a range over from a source at most two thirds as
// fast, only when the peer has that range's first and last crumbs.
TEST_F(TwoCrumbSources, ARangeIsStolenOnlyFromAMuchSlowerSource) {
    for (double slowRate : {2.0, 1.9}) {
        SCOPED_TRACE(slowRate);
        TestPeer* slowPeer = peer(slowRate == 2.0 ? 0x61 : 0x63);
        TestPeer* fastPeer = peer(slowRate == 2.0 ? 0x62 : 0x64);
        std::unique_ptr<FileSource> slow = source(slowPeer);
        std::unique_ptr<FileSource> fast = source(fastPeer);
        download->getSources()->append(slow.get());
        download->getSources()->append(fast.get());
        BoolArray all = bits({0, 1}, 2);
        slow->gotFileStatus(slowPeer, &all);
        fast->gotFileStatus(fastPeer, &all);
        slowPeer->setRate(slowRate);
        fastPeer->setRate(3.0);
        slow->setState(new FSS_Transfering(slow.get()));
        int slowBefore = outstanding(slow.get());
        ASSERT_EQ(3, slowBefore);
        fast->setState(new FSS_Transfering(fast.get()));
        if (slowRate == 2.0) {
            EXPECT_EQ(3, outstanding(slow.get())) << "3.0 is not above 1.5 x 2.0";
        } else {
            // Each of the fast source's two free slots took one over.
            EXPECT_EQ(1, outstanding(slow.get()));
        }
        EXPECT_EQ(4 - outstanding(slow.get()), outstanding(fast.get()));
        download->getSources()->remove(slow.get());
        download->getSources()->remove(fast.get());
        slow.reset();
        fast.reset();
    }
}

// A crumb that fails its check comes back to the crumb map while the source still holds
// its range: the source gives the slot up and asks for ranges at once, instead of waiting
// for bytes that will never come.
TEST_F(FileSourceTest, ARangeReturnedByAFailedCheckIsAskedAgainAtOnce) {
    TestPeer* c = peer(0x50);
    std::unique_ptr<FileSource> s = source(c);
    BoolArray all = bits({0, 1, 2, 3, 4}, 5);
    s->gotFileStatus(c, &all);
    s->setState(new FSS_Transfering(s.get()));
    uint32_t st[3], en[3];
    ASSERT_TRUE(c->lastRanges(st, en));
    ASSERT_NE(0u, en[0]);
    int crumb = (int)(st[0] / CRUMB);
    // What a failed check does to the crumb.
    download->getProgress().resetCrumb(crumb);
    s->blockDone(c);
    uint32_t again[3], againEnd[3];
    ASSERT_TRUE(c->lastRanges(again, againEnd)) << "no new request";
    s->getRequests(st, en);
    for (int i = 0; i < 3; i++) EXPECT_NE(0u, en[i]) << "slot " << i;
}

// Message 24 names its connection by serial: once that connection is gone, another one
// (at the same address or not) is never offered the slot.
TEST(OpenedSlotTest, OnlyTheSameConnectionIsFound) {
    std::unique_ptr<TestPeer> first(new TestPeer(0x51, 1, 1));
    theClientPool.addPeer(first.get());
    OpenedSlot kept(first.get());
    EXPECT_EQ(first.get(), kept.take());
    EXPECT_EQ(nullptr, kept.take()) << "taken once";

    OpenedSlot stale(first.get());
    first.reset();
    std::unique_ptr<TestPeer> next(new TestPeer(0x51, 1, 1));
    theClientPool.addPeer(next.get());
    EXPECT_EQ(nullptr, stale.take());
    theClientPool.removePeer(next.get());
}

}  // namespace
