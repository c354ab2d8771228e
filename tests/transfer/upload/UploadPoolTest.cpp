// The upload side against scripted peers on loopback: slots granted and served, the queue
// and its ranks, the 90 s limit of a granted peer, preemption by priority, refused files
// and ranges, and a range asked for again.
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <vector>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "i4min/threads/linux/i4_time.h"
#include "import/ImportMaster.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "support/ByteCompare.h"
#include "support/Waiting.h"
#include "transfer/DownloadTestSupport.h"
#include "transfer/PeerTestSupport.h"
#include "transfer/TransferTestSupport.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/download/TempFiles.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/Upload.h"
#include "transfer/upload/UploadPool.h"
#include "transfer/upload/UploadSlot.h"
#include "util/LLView.h"

using namespace peertest;

namespace {

// Far more than the socket buffers hold: a peer that reads nothing keeps its slot busy.
const uint32_t BIG = 9728000;

struct Frame {
    uint8_t op;
    std::string body;
};

// A data frame's range and bytes.
struct Data {
    uint32_t start, end;
    std::string bytes;
};

uint32_t u32At(const std::string& s, size_t at) {
    return (uint8_t)s[at] | (uint8_t)s[at + 1] << 8 | (uint8_t)s[at + 2] << 16 |
           (uint32_t)(uint8_t)s[at + 3] << 24;
}

std::string request(const std::string& hash, std::vector<std::pair<uint32_t, uint32_t>> pairs) {
    pairs.resize(3, {0, 0});
    std::string b = hash;
    for (auto& p : pairs) b += le32(p.first);
    for (auto& p : pairs) b += le32(p.second);
    return b;
}

class UploadPoolTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        savedUploads = theClientPool.services().uploads;
        theClientPool.services().uploads = &pool.peerAnswer;
        theClientPool.addListener(&pool);
        // Learns its thread, so that notices from it are carried out at once.
        pool.run(0);
    }
    void TearDown() override {
        harness.reset();
        theClientPool.removeListener(&pool);
        theClientPool.services().uploads = savedUploads;
        theTransferGateway.sharedList.deleteAll();
        TransferFixture::TearDown();
    }

    // A file of the scratch directory, shared with an upload priority.
    std::string share(const char* name, uint8_t seed, uint32_t size, int priority = 0) {
        std::vector<uint8_t> bytes = randomBytes(size, seed);
        std::string content(bytes.begin(), bytes.end());
        std::string path = dir.path + "/" + name;
        writeText(path, content);
        FileMeta* m = new FileMeta;
        m->setFileHash(raw(hashOf(seed)));
        m->setName(name);
        m->setFileSize(size);
        m->setPath(path.c_str());
        struct stat st;
        EXPECT_EQ(0, stat(path.c_str(), &st));
        m->setModTime((uint32_t)st.st_mtime);
        int32_t p = priority;
        m->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
        theTransferGateway.sharedList.add(m);
        contents[seed] = content;
        return hashOf(seed);
    }
    Client& peer(const char* name, uint8_t seed) {
        Client& c = h.connect();
        EXPECT_NE(nullptr, h.greet(c, name, seed));
        return c;
    }
    // A socket pass, and a pool pass when asked.
    void pass(bool poolPass) {
        h.pool.run(1);
        if (poolPass) pool.run(1);
    }
    // Socket passes, with a pool pass of ms after each.
    void passes(int n, int ms = 1) {
        for (int i = 0; i < n; i++) {
            h.pool.run(1);
            pool.run(ms);
        }
    }
    // Passes (with pool passes when asked) until stop holds for the frames taken in, 107 left
    // out, or limitMs went by. Small frames may wait for the other side's delayed
    // acknowledgement, so every wait is in real time.
    std::vector<Frame> collect(Client& c, int limitMs, bool poolPasses,
                               const std::function<bool(const std::vector<Frame>&)>& stop) {
        std::vector<Frame> out;
        passUntil(
            [&] {
                c.drain();
                Frame f;
                while (c.takeFrame(&f.op, &f.body)) {
                    if (f.op == Peer::OP_ADDRESS_DIFFERS) continue;
                    out.push_back(f);
                    if (stop(out)) return true;
                }
                return false;
            },
            [&] { pass(poolPasses); }, limitMs);
        return out;
    }
    // Every frame that comes in within waitMs of socket passes: for what must not come, or
    // what a test leaves behind.
    std::vector<Frame> frames(Client& c, int waitMs = 300) {
        return collect(c, waitMs, false, [](const std::vector<Frame>&) { return false; });
    }
    // Data up to end, with pool passes.
    std::vector<Frame> until(Client& c, uint32_t end) {
        return collect(c, EVENT_WAIT_MS, true, [end](const std::vector<Frame>& got) {
            std::vector<Data> d = data(got);
            return !d.empty() && d.back().end >= end;
        });
    }
    // The frames up to the first with that opcode, with pool passes when asked.
    std::vector<Frame> upTo(Client& c, uint8_t op, bool poolPasses = false) {
        return collect(c, EVENT_WAIT_MS, poolPasses,
                       [op](const std::vector<Frame>& got) { return got.back().op == op; });
    }
    // Socket passes, with pool passes when asked, until done holds; false if it never does.
    bool passesUntil(const std::function<bool()>& done, bool poolPasses = true) {
        return passUntil(done, [&] { pass(poolPasses); });
    }
    static std::vector<uint8_t> ops(const std::vector<Frame>& fs) {
        std::vector<uint8_t> out;
        for (const Frame& f : fs) out.push_back(f.op);
        return out;
    }
    static std::vector<Data> data(const std::vector<Frame>& fs) {
        std::vector<Data> out;
        for (const Frame& f : fs)
            if (f.op == Peer::OP_DATA)
                out.push_back({u32At(f.body, 16), u32At(f.body, 20), f.body.substr(24)});
        return out;
    }
    // alice (1) and bob (2) ask for far more of f than they read: both slots stay busy.
    // Answers bob.
    Client& fillSlots(const std::string& f) {
        Client& alice = peer("alice", 1);
        Client& bob = peer("bob", 2);
        alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, BIG}}));
        bob.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, BIG}}));
        EXPECT_TRUE(passesUntil([&] { return slotOf(1) && slotOf(2); }, false))
            << "alice " << slotOf(1) << ", bob " << slotOf(2);
        return bob;
    }
    UploadSlot* slotOf(uint8_t seed) {
        UserMeta u = user(LOOPBACK_IP, 0, seed, "");
        return pool.findSlotOf(&u);
    }

    // Freed in TearDown while the pool still listens: a peer that dies tells its uploads.
    std::unique_ptr<Harness> harness = std::make_unique<Harness>();
    Harness& h = *harness;
    Sides sides;
    SidesScope scope{sides};
    UploadPool pool;
    PeerUploads* savedUploads = nullptr;
    std::map<uint8_t, std::string> contents;
};

TEST_F(UploadPoolTest, AnIdleSlotGrantsAndSendsExactlyTheRangeIn512ByteBlocks) {
    std::string f = share("f.bin", 0x20, BIG);
    Client& alice = peer("alice", 1);
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{100, 2000}}));
    std::vector<Frame> got = until(alice, 2000);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(Peer::OP_SLOT_GRANTED, got[0].op);
    std::vector<Data> d = data(got);
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    std::string bytes;
    for (const Data& x : d) {
        ranges.push_back({x.start, x.end});
        bytes += x.bytes;
    }
    EXPECT_EQ((std::vector<std::pair<uint32_t, uint32_t>>{
                  {100, 612}, {612, 1124}, {1124, 1636}, {1636, 2000}}),
              ranges);
    EXPECT_BYTES_EQ(contents[0x20].substr(100, 1900), bytes);
    EXPECT_EQ(got.size(), d.size() + 1) << "nothing but the grant and the data";
    // The ranges are used up: the slot is free again and the peer not queued.
    EXPECT_TRUE(passesUntil([&] { return slotOf(1) == nullptr; }));
    EXPECT_EQ(0, pool.getQueue().waitingCount());
}

TEST_F(UploadPoolTest, WithEverySlotBusyAPeerIsQueuedRankedAndGrantedWhenOneFrees) {
    std::string f = share("f.bin", 0x20, BIG);
    Client& bob = fillSlots(f);

    Client& carol = peer("carol", 3);
    carol.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 1000}}));
    // At once, before any pass of the pool: out of parts.
    EXPECT_EQ(std::vector<uint8_t>{Peer::OP_OUT_OF_PARTS}, ops(upTo(carol, Peer::OP_OUT_OF_PARTS)));
    // The rank follows on the pool's next pass: first of one file queue.
    pool.run(1);
    std::vector<Frame> next = upTo(carol, Peer::OP_QUEUE_RANK);
    ASSERT_EQ(std::vector<uint8_t>{Peer::OP_QUEUE_RANK}, ops(next));
    EXPECT_EQ(1u, u32At(next[0].body, 0));

    // Bob gives up his transfer: his slot goes to carol.
    bob.sendFrame(Peer::OP_CANCEL_TRANSFER);
    ASSERT_TRUE(passesUntil([&] { return slotOf(2) == nullptr; }, false));
    pool.run(1);
    EXPECT_EQ(std::vector<uint8_t>{Peer::OP_SLOT_GRANTED}, ops(upTo(carol, Peer::OP_SLOT_GRANTED)));
    carol.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 1000}}));
    std::vector<Data> d = data(until(carol, 1000));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(1000u, d.back().end);
}

TEST_F(UploadPoolTest, AGrantedPeerThatNeverAsksLosesTheSlotAfter90Seconds) {
    std::string f = share("f.bin", 0x20, BIG);
    Client& bob = fillSlots(f);
    Client& carol = peer("carol", 3);
    Client& dave = peer("dave", 4);
    // Queued in this order.
    carol.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 1000}}));
    upTo(carol, Peer::OP_OUT_OF_PARTS);
    dave.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 1000}}));
    upTo(dave, Peer::OP_OUT_OF_PARTS);
    Peer* carolPeer = h.listed(3);
    ASSERT_NE(nullptr, carolPeer);
    int refsBefore = carolPeer->refCount();

    bob.sendFrame(Peer::OP_CANCEL_TRANSFER);
    ASSERT_TRUE(passesUntil([&] { return slotOf(2) == nullptr; }, false));
    pool.run(1);
    std::vector<uint8_t> carolOps = ops(upTo(carol, Peer::OP_SLOT_GRANTED));
    ASSERT_FALSE(carolOps.empty());
    EXPECT_EQ(Peer::OP_SLOT_GRANTED, carolOps.back());
    EXPECT_EQ(refsBefore + 1, carolPeer->refCount());
    frames(dave);

    pool.run(UploadSlot::PENDING_MS - 2);
    EXPECT_NE(nullptr, slotOf(3)) << "90 s are not over";
    pool.run(3);
    EXPECT_EQ(nullptr, slotOf(3));
    EXPECT_NE(std::string::npos, h.ui.debugText.find("Slot time out: carol"));
    // The grant's reference went with her; dave, next in the queue, has the slot now.
    EXPECT_EQ(refsBefore, carolPeer->refCount());
    pool.run(1);
    std::vector<uint8_t> daveOps = ops(upTo(dave, Peer::OP_SLOT_GRANTED));
    ASSERT_FALSE(daveOps.empty());
    EXPECT_EQ(Peer::OP_SLOT_GRANTED, daveOps.back());
    EXPECT_EQ(nullptr, pool.getQueue().find(h.listed(3)->getUser(), nullptr))
        << "carol lost her place";
}

TEST_F(UploadPoolTest, AFileThatCannotBeServedIsAnsweredNoSuchFile) {
    std::string f = share("f.bin", 0x20, BIG);
    std::string gone = share("gone.bin", 0x30, 1000);
    unlink((dir.path + "/gone.bin").c_str());
    const std::string unshared = hashOf(0x40);
    Client& alice = peer("alice", 1);

    // A shared record whose file went: granted, then refused.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(gone, {{0, 100}}));
    EXPECT_EQ((std::vector<uint8_t>{Peer::OP_SLOT_GRANTED, Peer::OP_NO_SUCH_FILE}),
              ops(upTo(alice, Peer::OP_NO_SUCH_FILE)));
    EXPECT_NE(std::string::npos, h.ui.debugText.find("File not found for upload:"));
    EXPECT_EQ(nullptr, slotOf(1));

    // An uploading peer that asks for a file nobody shares.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, BIG}}));
    ASSERT_TRUE(passesUntil([&] { return slotOf(1) != nullptr; }, false));
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(unshared, {{0, 100}}));
    std::vector<Frame> got = upTo(alice, Peer::OP_NO_SUCH_FILE);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(Peer::OP_NO_SUCH_FILE, got.back().op);
    EXPECT_EQ(unshared, got.back().body);
    UploadSlot* slot = slotOf(1);
    ASSERT_NE(nullptr, slot) << "the upload it had goes on";
    EXPECT_EQ(0, memcmp(raw(f), slot->fileHash(), 16));
}

TEST_F(UploadPoolTest, AnUploadIsPreemptedOnlyByAStrictlyHigherPriority) {
    std::string five = share("five.bin", 0x20, BIG, 5);
    std::string alsoFive = share("five2.bin", 0x30, 600000, 5);
    std::string six = share("six.bin", 0x40, 600000, 6);
    fillSlots(five);
    passes(2);
    ASSERT_EQ(5, slotOf(1)->priority());
    ASSERT_EQ(5, slotOf(2)->priority());

    Client& carol = peer("carol", 3);
    carol.sendFrame(Peer::OP_REQUEST_RANGES, request(alsoFive, {{0, 1000}}));
    std::vector<uint8_t> carolOps = ops(upTo(carol, Peer::OP_QUEUE_RANK, true));
    EXPECT_EQ((std::vector<uint8_t>{Peer::OP_OUT_OF_PARTS, Peer::OP_QUEUE_RANK}), carolOps);
    EXPECT_EQ(nullptr, slotOf(3));

    Client& dave = peer("dave", 4);
    dave.sendFrame(Peer::OP_REQUEST_RANGES, request(six, {{0, 1000}}));
    std::vector<Frame> granted = upTo(dave, Peer::OP_SLOT_GRANTED);
    ASSERT_FALSE(granted.empty());
    // One of the priority-5 peers lost its slot and went back to the queue, beside carol.
    EXPECT_EQ(1, (slotOf(1) == nullptr) + (slotOf(2) == nullptr));
    EXPECT_EQ(2, pool.getQueue().waitingCount());
    std::vector<Frame> got = until(dave, 1000);
    got.insert(got.begin(), granted.begin(), granted.end());
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(Peer::OP_SLOT_GRANTED, got[0].op);
    std::vector<Data> d = data(got);
    ASSERT_FALSE(d.empty());
    EXPECT_BYTES_EQ(contents[0x40].substr(0, 1000), [&] {
        std::string all;
        for (const Data& x : d) all += x.bytes;
        return all;
    }());
}

TEST_F(UploadPoolTest, AnUnusableRangeEndsTheRequestAndTheClientGoesOn) {
    std::string f = share("f.bin", 0x20, BIG);
    struct Case {
        const char* what;
        uint32_t start, end;
    } cases[] = {
        {"past the end", BIG - 10, BIG + 100},
        {"start after end", 100, 50},
        {"empty", 100, 100},
    };
    Client& alice = peer("alice", 1);
    for (const Case& c : cases) {
        alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{c.start, c.end}}));
        passes(3);
        std::vector<Frame> got = frames(alice);
        EXPECT_TRUE(data(got).empty()) << c.what;
        EXPECT_EQ(nullptr, slotOf(1)) << c.what;
        EXPECT_FALSE(alice.eof) << c.what;
    }
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{BIG - 1000, BIG}}));
    std::vector<Data> d = data(until(alice, BIG));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(BIG, d.back().end);
}

TEST_F(UploadPoolTest, RangesSentLatelyWaitForNewerOnesButAReAskIsServed) {
    std::string f = share("f.bin", 0x20, BIG);
    Client& alice = peer("alice", 1);
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 500}, {500, 1000}, {1000, 1500}}));
    ASSERT_EQ(1500u, data(until(alice, 1500)).back().end);

    // A request that crossed the data in flight: the range just finished is dropped, the
    // older one waits behind the new one, which goes out at once.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{500, 1000}, {1000, 1500}, {1500, 2000}}));
    std::vector<Data> d = data(until(alice, 2000));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(1500u, d.front().start);
    EXPECT_EQ(2000u, d.back().end);
    // The peer had the older range meanwhile and asks only for new data: nothing twice.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{2000, 2500}}));
    d = data(until(alice, 2500));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(2000u, d.front().start);

    // A crumb whose check failed is asked for again: held a while for a newer request,
    // then served, byte for byte.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 500}}));
    ASSERT_TRUE(passesUntil(
        [&] {
            UploadSlot* s = slotOf(1);
            return s && s->getUpload() && s->getUpload()->isHolding();
        },
        false));
    EXPECT_TRUE(data(frames(alice)).empty());
    pool.run(Upload::HOLD_MS);
    d = data(until(alice, 500));
    ASSERT_FALSE(d.empty());
    std::string again;
    for (const Data& x : d) again += x.bytes;
    EXPECT_EQ(0u, d.front().start);
    EXPECT_BYTES_EQ(contents[0x20].substr(0, 500), again);
}

TEST_F(UploadPoolTest, APeerAskingAgainAfterItsRangesRanOutKeepsTheBlockSizeItsRateEarned) {
    std::string f = share("f.bin", 0x20, BIG);
    Client& alice = peer("alice", 1);
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, BIG}}));
    ASSERT_FALSE(data(until(alice, 1000000)).empty());
    // A rate sample: blocks grow beyond the first 512 bytes.
    pool.run(Upload::SAMPLE_MS + 1);
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{BIG - 200000, BIG}}));
    std::vector<Data> d = data(until(alice, BIG));
    ASSERT_FALSE(d.empty());
    ASSERT_EQ(BIG, d.back().end);
    size_t earned = d.back().bytes.size();
    for (const Data& x : d)
        if (x.start >= BIG - 200000 && x.end < BIG) earned = x.bytes.size();
    ASSERT_GT(earned, 512u);
    ASSERT_TRUE(passesUntil([&] { return slotOf(1) == nullptr; }))
        << "the ranges are used up: the upload ended";

    // Asked again at once: a new upload, sending blocks of the size already earned.
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 100000}}));
    d = data(until(alice, 100000));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(earned, d.front().bytes.size());
    ASSERT_TRUE(passesUntil([&] { return slotOf(1) == nullptr; }));

    // A rate measured long ago says little: the next upload starts small again.
    {
        i4_test_clock clock;
        clock.step_ms(UploadPool::RATE_KEPT_MS + 1);
    }
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 50000}}));
    d = data(until(alice, 50000));
    ASSERT_FALSE(d.empty());
    EXPECT_EQ(512u, d.front().bytes.size());
}

// Takes the queue's messages for one test: shared records reach the gateway as the transfer
// handler hands them on; everything else is dropped.
struct SharingQueue : MessageHandler {
    SharingQueue() {
        for (int id = 0; id < MSG_ID_LIMIT; id++) theMessageQ.setHandler(this, id);
    }
    ~SharingQueue() override {
        run();
        for (int id = 0; id < MSG_ID_LIMIT; id++) theMessageQ.setHandler(nullptr, id);
    }
    void handleMessage(Message* m) override {
        if (m->id == MSG_SHARE_FILE) theTransferGateway.fileHashed(m->take<FileMeta>().release());
    }
    void run() {
        for (int i = 0; i < 1000 && theMessageQ.pending() > 0; i++) theMessageQ.run(0);
    }
};

TEST_F(UploadPoolTest, APartialFileIsServedUntilItCompletesThenFromWhereCompletionPutIt) {
    // The download's name climbs out of the incoming directory to a file beside it: a name
    // joined to the incoming directory would serve that file.
    std::string root = dir.path + "/a";
    std::string temp = root + "/temp", incoming = root + "/incoming";
    ASSERT_EQ(0, mkdir(root.c_str(), 0700));
    ASSERT_EQ(0, mkdir(temp.c_str(), 0700));
    ASSERT_EQ(0, mkdir(incoming.c_str(), 0700));
    const uint32_t size = 600000;
    writeText(dir.path + "/secret.txt", std::string(size, 'S'));
    theTransferOptions.setTemp(temp.c_str());
    theTransferOptions.setIncoming(incoming.c_str());
    theTempFiles.reset();
    theTransferGateway.shareList.setDirectories({i4_string(incoming.c_str())});
    SharingQueue messages;

    std::vector<uint8_t> bytes = randomBytes(size, 7);
    std::string content(bytes.begin(), bytes.end());
    std::unique_ptr<FileMeta> record(recordOf(bytes, "../../secret.txt", root));
    std::string hash((const char*)record->getFileHash(), 16);
    theDLPool.startDownload(record.get());
    Download* d = theDLPool.findByHash(record->getFileHash());
    ASSERT_NE(nullptr, d);
    PartialFile* partial = d->getPartialFile();
    // Every byte is in, checked crumb by crumb; the download has not completed yet.
    partial->writeBlock(bytes.data(), size, 0, size);
    messages.run();

    Client& alice = peer("alice", 1);
    alice.sendFrame(Peer::OP_REQUEST_RANGES, request(hash, {{0, size}}));
    std::vector<Frame> got = until(alice, 100000);
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(Peer::OP_SLOT_GRANTED, got[0].op);
    std::string served;
    for (const Data& x : data(got)) served += x.bytes;
    ASSERT_LT(served.size(), size) << "the upload must still run when the download completes";

    // The download completes while the upload runs, paused meanwhile as the pool does it.
    pool.downloadAnswer.pauseFile(record->getFileHash(), true);
    partial->setState(PartialFile::COMPLETING);
    ASSERT_TRUE(partial->complete());
    messages.run();
    pool.downloadAnswer.pauseFile(record->getFileHash(), false);

    got = until(alice, size);
    for (const Data& x : data(got)) served += x.bytes;
    EXPECT_EQ(std::string::npos, served.find("SSSSSSSS")) << "a byte of the file outside";
    EXPECT_BYTES_EQ(content, served);
    d->release();
    theDLPool.removeAll();
    theTransferGateway.shareList.clearFiles();
    theTransferGateway.shareList.setDirectories({});
}

TEST_F(UploadPoolTest, AFileThatChangesOnDiskIsNeverSentUnderItsOldHash) {
    struct Case {
        const char* what;
        std::function<void(const std::string& path)> change;
        bool hashedAgain;
    };
    // A later time than the record's, whatever the clock's grain.
    auto later = [](const std::string& path) {
        struct stat st;
        ASSERT_EQ(0, stat(path.c_str(), &st));
        struct utimbuf t = {st.st_atime, st.st_mtime + 100};
        ASSERT_EQ(0, utime(path.c_str(), &t));
    };
    const Case cases[] = {
        {"overwritten",
         [&](const std::string& path) {
             writeText(path, std::string(BIG, 'X'));
             later(path);
         },
         true},
        {"truncated",
         [&](const std::string& path) {
             ASSERT_EQ(0, truncate(path.c_str(), BIG / 2));
             later(path);
         },
         true},
        {"removed", [](const std::string& path) { ASSERT_EQ(0, unlink(path.c_str())); }, false},
    };
    theImportMaster.registerImporters();
    theTransferGateway.shareList.setDirectories({i4_string(dir.path.c_str())});
    SharingQueue messages;
    uint8_t seed = 0x50;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = std::string(c.what) + ".bin";
        std::string f = share(name.c_str(), ++seed, BIG);
        Client& alice = peer(c.what, seed);
        alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, BIG}}));
        std::vector<Frame> got = until(alice, 20000);
        ASSERT_FALSE(data(got).empty());
        c.change(dir.path + "/" + name);
        std::vector<Frame> after = upTo(alice, Peer::OP_NO_SUCH_FILE);
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(Peer::OP_NO_SUCH_FILE, after.back().op) << "the peer is told at once";
        EXPECT_EQ(f, after.back().body);
        got.insert(got.end(), after.begin(), after.end());
        for (const Data& x : data(got))
            ASSERT_BYTES_EQ(contents[seed].substr(x.start, x.bytes.size()), x.bytes)
                << "the block at " << x.start;
        EXPECT_EQ(nullptr, theTransferGateway.sharedList.findByHash(raw(f)));
        // Asked again: refused until the file is shared under the hash of what it holds.
        alice.sendFrame(Peer::OP_REQUEST_RANGES, request(f, {{0, 100}}));
        after = collect(alice, 3000, true, [](const std::vector<Frame>& fs) {
            return fs.back().op == Peer::OP_NO_SUCH_FILE || fs.back().op == Peer::OP_OUT_OF_PARTS;
        });
        ASSERT_FALSE(after.empty());
        EXPECT_TRUE(data(after).empty());

        // Shared anew under the hash of what the file holds now, when it is still there.
        auto sharedAgain = [&]() -> FileMeta* {
            messages.run();
            for (FileMeta* m : LLView<FileMeta>(theTransferGateway.sharedList.getList()))
                if (name == m->getName()) return m;
            return nullptr;
        };
        FileMeta* again = sharedAgain();
        for (int i = 0; i < 500 && c.hashedAgain && !again; i++) {
            i4_sleep_ms(20);
            again = sharedAgain();
        }
        EXPECT_EQ(c.hashedAgain, again != nullptr);
        if (again) {
            EXPECT_NE(f, std::string((const char*)again->getFileHash(), 16));
        }
        // The slot granted for the refused request is free for the next case.
        std::vector<UploadSlot*> slots;
        pool.slots(slots);
        for (UploadSlot* s : slots) s->releasePending();
    }
    theHashThread.stop();
    theTransferGateway.shareList.setDirectories({});
    theTransferGateway.knownList.deleteAll();
}

}  // namespace
