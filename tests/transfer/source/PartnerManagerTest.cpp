#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "../SourceTestSupport.h"
#include "support/CapturedUI.h"
#include "transfer/source/FSS_Partner.h"
#include "transfer/source/FSS_Transfering.h"

using namespace sourcetest;

namespace {

// A partner source whose rank (its speed) the test sets.
struct RankedSource : FileSource {
    RankedSource(UserMeta* u, Download* d, Peer* c) : FileSource(u, d, c) {}
    double getSpeed() override { return speed; }
    double speed = 0;
    int ended = 0;
    void partnerEnded() override { ended++; }
};

struct PartnerManagerTest : SourceFixture {
    PartnerManagerTest() {
        other = new Download;
        other->addRef();
        FileMeta record;
        record.setName("other.bin");
        record.setFileSize(3 * CRUMB);
        uint8_t hash[16];
        for (int i = 0; i < 16; i++) hash[i] = (uint8_t)(0x50 + i);
        record.setFileHash(hash);
        EXPECT_TRUE(other->startNew(&record));
    }
    ~PartnerManagerTest() override {
        sources.clear();
        thePartnerManager.clear();
        other->release();
    }
    RankedSource* add(Download* d, double speed) {
        TestPeer* c = peer((uint8_t)(0x30 + sources.size()));
        sources.emplace_back(new RankedSource(c->getUser(), d, c));
        sources.back()->speed = speed;
        thePartnerManager.addPartner(sources.back().get());
        return sources.back().get();
    }
    Download* other = nullptr;
    std::vector<std::unique_ptr<RankedSource>> sources;
};

TEST_F(PartnerManagerTest, ANewHighestDownloadEvictsPartnersOfOthersFirstToLast) {
    for (int i = 0; i < 4; i++) add(other, 1.0);
    thePartnerManager.setHighest(download);
    EXPECT_EQ(0, thePartnerManager.getCount());
    EXPECT_TRUE(thePartnerManager.hasRoom());
    for (int i = 0; i < 4; i++) {
        RankedSource* s = add(download, 1.0);
        EXPECT_EQ(s, thePartnerManager.slot(i));
        EXPECT_EQ(1, sources[(size_t)i]->ended) << "slot " << i;
        EXPECT_FALSE(((TestPeer*)sources[(size_t)i]->getConnection())->isKept());
        EXPECT_TRUE(((TestPeer*)s->getConnection())->isKept());
    }
    EXPECT_EQ(4, thePartnerManager.getCount());
    EXPECT_FALSE(thePartnerManager.hasRoom());
    // Four of the highest: a fifth registers nothing.
    RankedSource* fifth = add(download, 9.0);
    for (int i = 0; i < 4; i++) EXPECT_NE(fifth, thePartnerManager.slot(i));
}

TEST_F(PartnerManagerTest, DropLowestEndsTheSlowestFirstOfEqualsWhateverTheSpeeds) {
    thePartnerManager.setHighest(download);
    struct Case {
        std::vector<double> speeds;
        int dropped;
    } cases[] = {
        {{3.0, 1.0, 2.0, 1.0}, 1},
        {{2.0, 2.0, 2.0, 2.0}, 0},
        // Above 10 MB/s every one: still the slowest, not the first.
        {{20000.0, 15000.0, 12000.0, 30000.0}, 2},
        {{10000.0, 10000.0, 10001.0, 10000.5}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.speeds));
        sources.clear();
        thePartnerManager.clear();
        thePartnerManager.setHighest(download);
        for (double v : c.speeds) add(download, v);
        thePartnerManager.dropLowest();
        for (int i = 0; i < 4; i++) {
            EXPECT_EQ(i == c.dropped ? 1 : 0, sources[(size_t)i]->ended);
            EXPECT_EQ(i == c.dropped, thePartnerManager.slot(i) == nullptr);
        }
        EXPECT_EQ(3, thePartnerManager.getCount());
    }
}

TEST_F(PartnerManagerTest, FewerThanFourOfTheHighestDropNobody) {
    thePartnerManager.setHighest(download);
    for (int i = 0; i < 3; i++) add(download, 1.0);
    add(other, 0.5);
    thePartnerManager.dropLowest();
    for (auto& s : sources) EXPECT_EQ(0, s->ended);
}

TEST_F(PartnerManagerTest, WantsPartnerComparesSpeedsOnlyWhenFull) {
    thePartnerManager.setHighest(download);
    for (int i = 0; i < 3; i++) add(download, 5.0);
    TestPeer* c = peer(0x60);
    RankedSource slow(c->getUser(), download, c);
    slow.speed = 0.1;
    EXPECT_TRUE(thePartnerManager.wantsPartner(&slow)) << "three partners: yes at once";
    add(download, 5.0);
    EXPECT_FALSE(thePartnerManager.wantsPartner(&slow));
    slow.speed = 5.0;
    EXPECT_FALSE(thePartnerManager.wantsPartner(&slow)) << "equal is not faster";
    slow.speed = 5.5;
    EXPECT_TRUE(thePartnerManager.wantsPartner(&slow));
}

TEST_F(PartnerManagerTest, PartnerRequestsAreDecidedInOrder) {
    TestPeer* asking = peer(0x70);
    // No highest download: no.
    EXPECT_FALSE(thePartnerManager.acceptPartner(asking, download->getFileId()));
    thePartnerManager.setHighest(download);
    // The highest download's file with room: yes, and the asker becomes a trial partner.
    EXPECT_TRUE(thePartnerManager.acceptPartner(asking, download->getFileId()));
    FileSourceInterface* made = (FileSourceInterface*)download->getSources()->first();
    ASSERT_NE(nullptr, made);
    EXPECT_EQ(FileSourceState::PARTNER, made->getStatus());
    EXPECT_EQ(made, thePartnerManager.slot(0));
    // Already a partner: yes even for another file.
    EXPECT_TRUE(thePartnerManager.acceptPartner(asking, peertest::raw(peertest::hashOf(1))));

    // Another download's file: no once three slots are taken, whatever they belong to.
    TestPeer* second = peer(0x71);
    add(other, 1.0);
    add(download, 1.0);
    EXPECT_FALSE(thePartnerManager.acceptPartner(second, other->getFileId()));
    // An unknown file: no.
    EXPECT_FALSE(thePartnerManager.acceptPartner(second, peertest::raw(peertest::hashOf(2))));
}

TEST_F(PartnerManagerTest, DumpListsTheHighestAndTheSlots) {
    CapturedUI ui;
    thePartnerManager.dump();
    EXPECT_EQ("Partners: \nHighest: NULL\n0) NULL\n1) NULL\n2) NULL\n3) NULL\n", ui.text());
    thePartnerManager.setHighest(download);
    add(download, 1.0);
    CapturedUI again;
    thePartnerManager.dump();
    EXPECT_EQ("Partners: \nHighest: file.bin\n0) peer48\n1) NULL\n2) NULL\n3) NULL\n",
              again.text());
}

}  // namespace
