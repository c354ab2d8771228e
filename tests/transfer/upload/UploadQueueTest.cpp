// The upload queue: places and ranks, the order in which slots are served, and uploadq.dat
// with its age rule, its cap and damaged copies.
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserMeta.h"
#include "transfer/TransferTestSupport.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/FileQueue.h"
#include "transfer/upload/UploadQueue.h"
#include "util/LLView.h"

namespace {

struct Hash {
    uint8_t b[16];
    explicit Hash(uint8_t seed) {
        for (int i = 0; i < 16; i++) b[i] = (uint8_t)(seed + i);
    }
};

void fill(UserMeta& u, int n) {
    u.ip = 0x0100007F + ((uint32_t)n << 24);
    u.port = (uint16_t)(5000 + n);
    for (int i = 0; i < 16; i++) u.hash[i] = (uint8_t)(n * 7 + i + 1);
    u.setName(("peer" + std::to_string(n)).c_str());
}

UserMeta peer(int n) {
    UserMeta u;
    fill(u, n);
    return u;
}

// Stands for the pool: users it holds in slots, rank notices it was asked to send.
struct FakeOwner : UploadQueue::Owner {
    std::vector<UserMeta*> held;
    bool holdsUser(UserMeta* u) override {
        for (UserMeta* h : held)
            if (h->isSameUser(u)) return true;
        return false;
    }
    void deferRankNotice(Peer*, uint32_t) override {}
};

class UploadQueueTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        queue.setOwner(&owner);
    }
    void TearDown() override {
        theTransferGateway.sharedList.deleteAll();
        TransferFixture::TearDown();
    }
    void share(const Hash& h, int priority, const char* name = "file") {
        FileMeta* m = new FileMeta;
        m->setFileHash(h.b);
        m->setName(name);
        m->setFileSize(1000);
        int32_t p = priority;
        m->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
        theTransferGateway.sharedList.add(m);
    }
    // Names of the peers taken for a slot of that priority, until none is given.
    std::vector<std::string> serve(int slotPriority, int max = 20) {
        std::vector<std::string> out;
        for (int i = 0; i < max; i++) {
            UserMeta* u = queue.next(slotPriority);
            if (!u) break;
            out.push_back(u->getName());
            delete u;
        }
        return out;
    }
    std::string path() { return dir.path + "/uploadq.dat"; }

    FakeOwner owner;
    UploadQueue queue;
};

TEST_F(UploadQueueTest, APeerKeepsItsFirstPlaceAndSlotHoldersAreRankedZero) {
    Hash a(1), b(2);
    UserMeta p1 = peer(1), p2 = peer(2), p3 = peer(3);
    EXPECT_EQ(1, queue.add(&p1, a.b));
    EXPECT_EQ(2, queue.add(&p2, a.b));
    // Already queued for A: asking for B changes nothing and answers the place in A.
    EXPECT_EQ(2, queue.add(&p2, b.b));
    EXPECT_EQ(1, queue.fileQueueCount());
    EXPECT_EQ(2, queue.waitingCount());
    owner.held.push_back(&p3);
    EXPECT_EQ(0, queue.add(&p3, a.b));
    EXPECT_EQ(2, queue.waitingCount());
}

TEST_F(UploadQueueTest, SlotsAreServedByPriorityWithTurnsAmongEquals) {
    Hash a(1), b(2), low(3), high(4);
    share(a, 0, "a");
    share(b, 0, "b");
    share(low, -29999, "low");
    share(high, 6, "high");
    UserMeta p[8];
    for (int i = 0; i < 8; i++) fill(p[i], i + 1);
    queue.add(&p[0], a.b);
    queue.add(&p[1], a.b);
    queue.add(&p[2], b.b);
    queue.add(&p[3], b.b);
    queue.add(&p[4], low.b);
    // An uploading slot of priority 0 takes nobody from equals.
    EXPECT_TRUE(serve(0).empty());
    queue.add(&p[5], high.b);
    EXPECT_EQ(std::vector<std::string>{"peer6"}, serve(0));
    // Idle slots: the two files of priority 0 take turns; -29999 is never served.
    EXPECT_EQ((std::vector<std::string>{"peer1", "peer3", "peer2", "peer4"}), serve(-30000));
    EXPECT_EQ(1, queue.waitingCount());
    EXPECT_EQ(5, queue.servedCount());
}

TEST_F(UploadQueueTest, ATakenPeerCarriesItsFileAndPartnersComeFirst) {
    Hash a(1);
    share(a, 0);
    UserMeta p1 = peer(1);
    queue.add(&p1, a.b);
    UserMeta* u = queue.next(-30000);
    ASSERT_NE(nullptr, u);
    MetaTag* w = u->findTag("w");
    ASSERT_NE(nullptr, w);
    EXPECT_EQ(0, memcmp(a.b, w->getValue(), 16));
    delete u;
    // The empty queue went when it was found empty.
    EXPECT_EQ(nullptr, queue.next(-30000));
    EXPECT_EQ(0, queue.fileQueueCount());
}

TEST_F(UploadQueueTest, AnUnsharedFileWaitsUntilTheHashingPassIsOver) {
    Hash gone(9);
    UserMeta p1 = peer(1);
    queue.add(&p1, gone.b);
    // A pass that has begun and cannot end: the thread stops at its first step.
    HashThread::setRunningCheck([] { return false; });
    std::vector<i4_string> none;
    theHashThread.startHashing(none);
    ASSERT_TRUE(waitFor([] { return theHashThread.getState() == Thread::NOT_RUNNING; }));
    HashThread::setRunningCheck(nullptr);
    ASSERT_FALSE(theHashThread.isPassDone());
    EXPECT_TRUE(serve(-30000).empty());
    EXPECT_EQ(1, queue.waitingCount());
}

TEST_F(UploadQueueTest, TheSaveCapFollowsTheServedPeersPerHour) {
    struct Case {
        int served;
        int64_t uptimeMs;
        int cap;
    } cases[] = {
        {600, 2 * 3600000LL, 3600},
        {0, 2 * 3600000LL, 500},
        {10, 0, 500},
        {100, 59 * 60000LL, 1200},  // under an hour counts as one
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.cap, UploadQueue::saveCap(c.served, c.uptimeMs))
            << c.served << " " << c.uptimeMs;
}

TEST_F(UploadQueueTest, AQueueSurvivesARestartWithinTwelveHours) {
    Hash a(1), b(2), playing(3);
    share(a, 0, "a");
    share(b, 0, "b");
    UserMeta p[4];
    for (int i = 0; i < 4; i++) fill(p[i], i + 1);
    queue.add(&p[0], a.b);
    queue.add(&p[1], b.b);
    queue.add(&p[2], a.b);
    std::vector<UploadQueue::SlotEntry> slots(2);
    memcpy(slots[0].hash, playing.b, 16);
    slots[0].user = &p[3];
    memset(slots[1].hash, 0, 16);
    slots[1].user = nullptr;
    const int64_t now = 1700000000;
    ASSERT_TRUE(queue.save(path().c_str(), slots, now, 3600000));

    struct Case {
        int64_t age;
        UploadQueue::LoadResult result;
    } cases[] = {
        {43000, UploadQueue::LOADED},  {43199, UploadQueue::LOADED}, {43200, UploadQueue::TOO_OLD},
        {43300, UploadQueue::TOO_OLD}, {-5, UploadQueue::TOO_OLD},  // from the future
    };
    for (const Case& c : cases) {
        console.out.clear();
        UploadQueue back;
        EXPECT_EQ(c.result, back.load(path().c_str(), now + c.age)) << c.age;
        if (c.result == UploadQueue::TOO_OLD) {
            EXPECT_EQ("Upload Queue old. Starting Fresh\n", console.text());
            EXPECT_EQ(0, back.waitingCount());
            continue;
        }
        // The former slot holder first, in the queue of what it was being sent; the idle
        // slot as an empty record under the zero hash; then the queues in order.
        std::vector<std::string> order;
        for (FileQueue* q : LLView<FileQueue>(&back.getFileQueues())) {
            std::string line = std::to_string(q->getHash()[0]) + ":";
            for (UserMeta* u : LLView<UserMeta>(q)) line += std::string(u->getName()) + ",";
            order.push_back(line);
        }
        EXPECT_EQ((std::vector<std::string>{"3:peer4,", "0:????,", "1:peer1,peer3,", "2:peer2,"}),
                  order);
    }
}

TEST_F(UploadQueueTest, ADamagedFileKeepsWhatWasReadAndAMissingOneIsSaid) {
    Hash a(1);
    UserMeta p[3];
    for (int i = 0; i < 3; i++) {
        fill(p[i], i + 1);
        queue.add(&p[i], a.b);
    }
    const int64_t now = 1700000000;
    ASSERT_TRUE(queue.save(path().c_str(), {}, now, 0));
    std::ifstream in(path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    std::string huge = bytes.substr(0, 8) + std::string("\xff\xff\xff\x7f", 4);
    // Time, group count, an empty group 0, the queue's count: then three entries alike.
    const size_t head = 8 + 4 + 4 + 4;
    const size_t entry = (bytes.size() - head) / 3;
    ASSERT_EQ(bytes.size(), head + 3 * entry);

    struct Case {
        std::string content;
        int waiting;
    } cases[] = {
        {bytes.substr(0, bytes.size() - 3), 3},   // the last record cut short: still queued
        {bytes.substr(0, head + entry + 20), 2},  // inside the second record
        {bytes.substr(0, head + entry + 8), 1},   // inside the second hash
        {bytes.substr(0, 5), 0},
        {huge, 0},  // a group count that the bytes cannot hold
    };
    for (const Case& c : cases) {
        std::ofstream(path(), std::ios::binary | std::ios::trunc) << c.content;
        UploadQueue back;
        back.load(path().c_str(), now + 10);
        EXPECT_EQ(c.waiting, back.waitingCount()) << c.content.size();
    }
    // None at all, or one that cannot be read: either is said.
    console.out.clear();
    UploadQueue none;
    EXPECT_EQ(UploadQueue::NOT_LOADED, none.load((dir.path + "/missing.dat").c_str(), now));
    EXPECT_EQ("Upload Queue not loaded\n", console.text());
    console.out.clear();
    std::string blocked = dir.path + "/blocked.dat";
    ASSERT_EQ(0, mkdir(blocked.c_str(), 0700));
    EXPECT_EQ(UploadQueue::NOT_LOADED, none.load(blocked.c_str(), now));
    EXPECT_EQ("Upload Queue not loaded\n", console.text());
}

TEST_F(UploadQueueTest, TheFileIsReplacedWholeOrNotAtAll) {
    Hash a(1);
    UserMeta p1 = peer(1);
    queue.add(&p1, a.b);
    // A directory in the way cannot be replaced: the failure is said.
    std::string blocked = dir.path + "/blocked";
    ASSERT_EQ(0, mkdir(blocked.c_str(), 0700));
    console.out.clear();
    EXPECT_FALSE(queue.save(blocked.c_str(), {}, 1700000000, 0));
    EXPECT_EQ("Upload Queue not saved\n", console.text());
}

}  // namespace
