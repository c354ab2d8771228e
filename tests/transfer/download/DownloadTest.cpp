#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

#include "../DownloadTestSupport.h"
#include "core/DownloadSources.h"
#include "core/NetworkGateway.h"
#include "meta/UserMeta.h"
#include "support/CapturedUI.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/source/FileSourceInterface.h"
#include "transfer/source/PartnerSlots.h"
#include "transfer/source/SourceMaker.h"
#include "util/LLView.h"

namespace {

// What the download asked of its sources and of the servers.
struct Asked {
    int tryConnect = 0;
    int requestHashes = 0;
    int findSources = 0;
    int refound = 0;
    int askPartner = -1;  // which source, by score order made
};

struct FakeSource : FileSourceInterface {
    FakeSource(Asked& asked, UserMeta* user, int index) : asked(asked), index(index) {
        if (user) this->user.copy(user);
    }
    double getSpeed() override { return 0; }
    void pause() override {}
    void cancel() override {}
    void downloadFinished() override {}
    void diskFull() override {}
    void shutdown() override {}
    bool isSameUser(UserMeta* other) override { return user.isSameUser(other); }
    void refound() override { asked.refound++; }
    bool tryConnect() override {
        asked.tryConnect++;
        return false;
    }
    bool requestHashes() override {
        asked.requestHashes++;
        return acceptHashes;
    }
    double partnerScore() override { return score; }
    void askPartner() override { asked.askPartner = index; }
    int getStatus() override { return status; }
    const char* getUserName() override { return name.c_str(); }
    const char* getFileName() override { return fileName.c_str(); }
    Asked& asked;
    int index;
    UserMeta user;
    bool acceptHashes = false;
    double score = -1;
    int status = 0;
    std::string name, fileName;
};

struct FakeFinder : DownloadSources {
    explicit FakeFinder(Asked& asked) : asked(asked) {}
    void findSources(const uint8_t*) override { asked.findSources++; }
    Asked& asked;
};

struct FakeGateway : NetworkGateway {
    explicit FakeGateway(Asked& asked) : asked(asked) {}
    void start() override {}
    void stop() override {}
    DownloadSources* newDownloadSources() override { return new FakeFinder(asked); }
    int firewallState() override { return 2; }
    Asked& asked;
};

struct FakeMaker : SourceMaker {
    explicit FakeMaker(Asked& asked) : asked(asked) {}
    FileSourceInterface* makeSource(UserMeta* user, Download*, Peer*) override {
        made.push_back(new FakeSource(asked, user, (int)made.size()));
        return made.back();
    }
    Asked& asked;
    std::vector<FakeSource*> made;
};

struct RoomForPartners : PartnerSlots {
    bool hasRoom() override { return true; }
};

// A download with fake sources, finder and partner manager in place.
class Fixture {
public:
    Fixture() : gateway(asked), maker(asked) {
        savedGateway = theNetworkGateway;
        savedMaker = theDLPool.services().sourceMaker;
        savedSlots = theDLPool.services().partnerSlots;
        theNetworkGateway = &gateway;
        theDLPool.services().sourceMaker = &maker;
        theDLPool.services().partnerSlots = &room;
        theDLPool.run(500);
    }
    ~Fixture() {
        if (d) d->release();
        log.drain();
        theNetworkGateway = savedGateway;
        theDLPool.services().sourceMaker = savedMaker;
        theDLPool.services().partnerSlots = savedSlots;
    }
    Download* start(uint32_t size) {
        FileMeta record;
        record.setName("fetch.bin");
        record.setFileSize(size);
        uint8_t hash[16] = {9};
        record.setFileHash(hash);
        d = new Download();
        d->addRef();
        EXPECT_TRUE(d->startNew(&record));
        return d;
    }
    void addSources(int n) {
        for (int i = 0; i < n; i++) {
            UserMeta u;
            u.ip = 0x01020304u + (uint32_t)i;
            u.port = 4662;
            d->addSource(&u, nullptr);
        }
    }
    CapturedUI ui;
    TransferDirs dirs;
    QueueLog log;
    Asked asked;
    FakeGateway gateway;
    FakeMaker maker;
    RoomForPartners room;
    NetworkGateway* savedGateway;
    SourceMaker* savedMaker;
    PartnerSlots* savedSlots;
    Download* d = nullptr;
};

TEST(Download, TheSameUserIsOneSource) {
    Fixture f;
    Download* d = f.start(1000);
    UserMeta u;
    u.ip = 0x05060708;
    u.port = 4662;
    d->addSource(&u, nullptr);
    d->addSource(&u, nullptr);
    EXPECT_EQ(1, d->getSources()->count());
    EXPECT_EQ(1, f.asked.refound);
}

// Speed samples every 2 s: bytes per ms, the newest filling the empty slots.
TEST(Download, SpeedSamples) {
    Fixture f;
    Download* d = f.start(2000000);
    d->tick(1);  // queued -> downloading
    std::vector<uint8_t> data(2000000, 1);
    d->getPartialFile()->writeBlock(data.data(), 500000, 0, 500000);
    d->tick(2000);
    EXPECT_DOUBLE_EQ(0, d->getSpeed()) << "no sample until more than 2 s passed";
    d->tick(500);
    EXPECT_DOUBLE_EQ(200.0, d->getSpeed());
    d->tick(2001);  // nothing new: a 0 sample among seven of 200
    EXPECT_DOUBLE_EQ(7 * 200.0 / 8, d->getSpeed());
    d->getPartialFile()->writeBlock(data.data(), 400000, 500000, 900000);
    d->tick(2001);
    // The new sample fills the slot the 0 took: eight samples, two new.
    double sample = 400000.0 / 2001;
    EXPECT_DOUBLE_EQ((6 * 200.0 + 2 * sample) / 8, d->getSpeed());
}

TEST(Download, SmallFastDownloadsLookForNoMoreSources) {
    for (double speed : {1.5, 0.5}) {
        Fixture f;
        Download* d = f.start(700000);
        f.addSources(2);
        d->tick(1);  // queued -> downloading, which looks at once
        f.asked = Asked();
        d->setSpeed(speed);
        d->tick(1);
        if (speed >= 1.0) {
            EXPECT_EQ(0, f.asked.tryConnect);
            EXPECT_EQ(0, f.asked.findSources);
        } else {
            EXPECT_EQ(2, f.asked.tryConnect) << "each source, none accepting";
            EXPECT_EQ(1, f.asked.findSources);
        }
    }
}

TEST(Download, HashSetsAreAskedAtOnceThenEveryTenSecondsUntilOneAccepts) {
    Fixture f;
    Download* d = f.start(3 * 486400);
    f.addSources(2);
    d->tick(1);
    f.asked = Asked();
    d->tick(1);
    EXPECT_EQ(2, f.asked.requestHashes) << "the first downloading tick asks";
    d->tick(10000);
    EXPECT_EQ(2, f.asked.requestHashes);
    d->tick(1);
    EXPECT_EQ(4, f.asked.requestHashes) << "retried after 10,000 ms";
    f.maker.made[0]->acceptHashes = true;
    f.maker.made[1]->acceptHashes = true;
    d->tick(10001);
    int asked = f.asked.requestHashes;
    d->tick(59999);
    EXPECT_EQ(asked, f.asked.requestHashes);
    d->tick(2);
    EXPECT_EQ(asked + 1, f.asked.requestHashes) << "a request that went out repeats after 60 s";
}

TEST(Download, TheHighestAsksTheBestPartnerFirstAtAPerfectScore) {
    Fixture f;
    Download* d = f.start(1000);
    f.addSources(3);
    // Sources are shuffled when added: give the scores in list order.
    std::vector<FakeSource*> inOrder;
    for (FakeSource* s : LLView<FakeSource>(d->getSources())) inOrder.push_back(s);
    inOrder[0]->score = 50.0;
    inOrder[1]->score = 100.0;
    inOrder[2]->score = 100.0;
    ASSERT_TRUE(d->setHighest());
    d->tick(1);
    EXPECT_EQ(inOrder[1]->index, f.asked.askPartner);
}

TEST(Download, StatusIsZeroWhileTheLockIsBusy) {
    Fixture f;
    Download* d = f.start(1000);
    EXPECT_EQ(1, d->getStatus());
    d->lock();
    int seen = -1;
    std::thread other([&] { seen = d->getStatus(); });
    other.join();
    d->unlock();
    EXPECT_EQ(0, seen);
}

// The sources' listing: a nameless user is "???", a source waiting in its
// peer's queue is an empty line and takes no number, and names from the
// network, however long, end inside the line's buffer.
TEST(Download, SourceListingNumbersOnlyListedSourcesAndBoundsNames) {
    Fixture f;
    Download* d = f.start(1000);
    f.addSources(3);
    FakeSource* named = f.maker.made[0];
    named->name = "alice";
    named->fileName = "song.mp3";
    named->status = 6;
    FakeSource* queued = f.maker.made[1];
    queued->name = "bob";
    queued->status = 3;
    FakeSource* hostile = f.maker.made[2];
    hostile->name = std::string(3000, 'u');
    hostile->fileName = std::string(3000, 'f');
    f.ui.out.clear();
    d->showUserFileStatus();
    std::vector<std::string> lines;
    std::string text = f.ui.text(), line;
    for (char c : text) {
        if (c != '\n') {
            line += c;
        } else {
            lines.push_back(line);
            line.clear();
        }
    }
    ASSERT_EQ("Showing user, filename, and status for 3 sources", lines.at(0));
    // Each source is one line of the listing, its file name after a line end.
    std::vector<std::string> listed;
    for (size_t i = 1; i < lines.size(); i++) {
        if (lines[i].rfind("   file name: ", 0) == 0)
            listed.back() += "\n" + lines[i];
        else
            listed.push_back(lines[i]);
    }
    ASSERT_EQ(3u, listed.size()) << text;
    LLNode* cursor = nullptr;
    int n = 0;
    for (size_t i = 0; i < listed.size(); i++) {
        FakeSource* s = (FakeSource*)LL::next(d->getSources(), &cursor);
        if (s == queued) {
            EXPECT_EQ("", listed[i]);
        } else if (s == named) {
            EXPECT_EQ(std::to_string(++n) +
                          ") user: alice\t\tstatus: Bad Source speed: 0.00\n   file name: song.mp3",
                      listed[i]);
        } else {
            std::string head = std::to_string(++n) + ") user: uuu";
            EXPECT_EQ(head, listed[i].substr(0, head.size()));
            EXPECT_EQ(511u, listed[i].size()) << "cut to the line's buffer";
        }
    }
}

TEST(Download, GivingBackACrumbPastTheEndChangesNothing) {
    Fixture f;
    Download* d = f.start(3 * 486400);
    EXPECT_EQ(3, d->refreshCrumbGaps(3));
    EXPECT_EQ(3, d->refreshCrumbGaps(-1));
    EXPECT_EQ(2u, d->getProgress().crumbGaps(2).size());
}

}  // namespace
