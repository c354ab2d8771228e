// Helpers of the source tests: a real download of a made-up file in a temporary directory,
// peers that are never connected and keep what the client would send them, and a still
// clock for the list of asked sources.
#pragma once

#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

#include "DownloadTestSupport.h"
#include "PeerTestSupport.h"
#include "i4min/threads/linux/i4_test_clock.h"
#include "meta/FileParts.h"
#include "meta/MetaTag.h"
#include "net/TCPPacket.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/FileSourceState.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/source/PeerSourceMaker.h"
#include "transfer/source/SourceList.h"
#include "util/BoolArray.h"

namespace sourcetest {

const uint32_t CRUMB = (uint32_t)FileParts::CRUMB_SIZE;

// A peer at 10.0.0.seed:4662 that has said hello (its record holds a name, "pr" and the
// trailer flag; its own level stays 0, so it is asked for file status only above a part);
// what is sent to it stays in its queue until sent() takes it.
struct TestPeer : Peer {
    TestPeer(uint8_t seed, int pr, int trailerValid)
        : Peer(0x0000000Au | (uint32_t)seed << 24, 4662, false) {
        UserMeta* u = getUser();
        memcpy(u->hash, peertest::raw(peertest::hashOf(seed)), 16);
        u->setName(("peer" + std::to_string(seed)).c_str());
        int32_t level = pr;
        u->setTag("pr", &level, MetaTag::INT);
        u->trailerValid = trailerValid;
        // As the connection pool holds it while it is listed.
        addRef("pool");
    }
    // The receive rate its source reports while transferring, in bytes per ms.
    void setRate(double bytesPerMs) { receiveAvg = bytesPerMs; }
    // The opcodes queued since the last call, in order; -1 stands for a close.
    std::vector<int> sent() {
        std::vector<int> ops;
        while (TCPPacket* p = (TCPPacket*)sendQueue.removeAt(0)) {
            ops.push_back(p->isClose() ? -1 : p->bytes()[5]);
            delete p;
        }
        return ops;
    }
    // The three pairs of the last 71 queued (other frames are dropped).
    bool lastRanges(uint32_t starts[3], uint32_t ends[3]) {
        bool found = false;
        while (TCPPacket* p = (TCPPacket*)sendQueue.removeAt(0)) {
            if (!p->isClose() && p->bytes()[5] == OP_REQUEST_RANGES) {
                const uint8_t* b = p->bytes() + 6 + 16;
                for (int i = 0; i < 3; i++) {
                    memcpy(&starts[i], b + 4 * i, 4);
                    memcpy(&ends[i], b + 12 + 4 * i, 4);
                }
                found = true;
            }
            delete p;
        }
        return found;
    }
};

// A download of a made-up file of `crumbs` crumbs, with the peer sources of the client.
struct SourceFixture : ::testing::Test {
    explicit SourceFixture(int crumbs = 5) : savedMaker(theDLPool.services().sourceMaker) {
        thePartnerManager.clear();
        theDLPool.services().sourceMaker = &thePeerSourceMaker;
        download = new Download;
        download->addRef();
        FileMeta record;
        record.setName("file.bin");
        record.setFileSize(crumbs * CRUMB);
        uint8_t hash[16];
        for (int i = 0; i < 16; i++) hash[i] = (uint8_t)(0xC0 + i);
        record.setFileHash(hash);
        EXPECT_TRUE(download->startNew(&record));
    }
    ~SourceFixture() override {
        download->release();
        thePartnerManager.clear();
        theDLPool.services().sourceMaker = savedMaker;
        theSourceList.clear();
        dirs.posted.drain();
    }
    TestPeer* peer(uint8_t seed, int pr = 1, int trailerValid = 1) {
        peers.emplace_back(new TestPeer(seed, pr, trailerValid));
        return peers.back().get();
    }
    // A source of the download, not in its list, with the connection given.
    std::unique_ptr<FileSource> source(TestPeer* c) {
        std::unique_ptr<FileSource> s(new FileSource(c->getUser(), download, c));
        c->sent();
        return s;
    }
    // The download's crumb weights, crumb by crumb.
    std::vector<int> weights() {
        std::vector<int> w;
        for (int c = 0; c < download->crumbCount(); c++)
            w.push_back(download->getProgress().getWeight(c));
        return w;
    }
    int freedSlots() {
        int n = 0;
        for (int id : dirs.posted.drain())
            if (id == MSG_FREED_CONNECTION) n++;
        return n;
    }

    i4_test_clock clock;
    TransferDirs dirs;
    peertest::RecordedConnects connects;
    SourceMaker* savedMaker;
    Download* download = nullptr;
    // Made before the sources that use them, so they outlive those.
    std::vector<std::unique_ptr<TestPeer>> peers;
};

inline BoolArray bits(std::initializer_list<int> set, int count) {
    BoolArray b((uint32_t)count);
    b.fill(0);
    for (int i : set) b.set((uint32_t)i, 1);
    return b;
}

}  // namespace sourcetest
