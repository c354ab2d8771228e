#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "../DownloadTestSupport.h"
#include "../PeerTestSupport.h"
#include "../TransferTestSupport.h"
#include "import/ImportMaster.h"
#include "meta/MD4.h"
#include "meta/MetaTag.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferHandler.h"

using namespace peertest;

namespace {

struct SharedFile {
    std::string name;
    uint32_t size;
    std::string hash;
    int sent;  // whole copies counted by the test
};

// The client's own hashing thread, gateway and queue, with a peer on loopback asking for the
// files while a pass runs: the threads of the client meet where they do in a session.
class SharingWhileHashingTest : public TransferFixture {
protected:
    void SetUp() override {
        TransferFixture::SetUp();
        mkdir((dir / "S").c_str(), 0777);
        mkdir(incoming().c_str(), 0777);
        theImportMaster.registerImporters();
        theTransferHandler.registerHandlers(theMessageQ);
        gateway.shareList.setDirectories({i4_string((dir / "S").c_str())});
        theClientPool.services().shares = gateway.peerShares();
        c = &h.connect();
        h.hello(*c, "asker", 0x31);
        ASSERT_NE(nullptr, h.listed(0x31));
    }
    void TearDown() override {
        theHashThread.stop();
        for (int i = 0; i < 10000 && theMessageQ.run(0); i++) {
        }
        gateway.shareList.clear();
        gateway.sharedList.deleteAll();
        gateway.knownList.deleteAll();
        TransferFixture::TearDown();
    }
    void addFiles(int n) {
        for (int i = 0; i < n; i++) {
            SharedFile f{"f" + std::to_string(i) + ".bin", 1 + (uint32_t)i * 97001, "", 0};
            std::vector<uint8_t> content = randomBytes(f.size, 100 + i);
            writeText(dir / ("S/" + f.name), std::string(content.begin(), content.end()));
            // One part at most: the file hash is the content's digest.
            uint8_t digest[16];
            MD4::digest(content.data(), content.size(), digest);
            f.hash.assign((const char*)digest, 16);
            files.push_back(f);
        }
    }
    // Asks for every file's name and status as a peer does before it queues for a file, all
    // in one write, and reads the answers up to the ping's. Answers, in the files' order,
    // whether each was shared: its record (name and status) or "not shared"; anything else
    // fails.
    std::vector<bool> askForAll() {
        std::string requests;
        for (const SharedFile& f : files)
            requests += frame(Peer::OP_FILE_NAME_REQUEST, f.hash) +
                        frame(Peer::OP_FILE_STATUS_REQUEST, f.hash);
        c->write(requests + frame(Peer::OP_PING, ""));
        std::vector<std::pair<int, std::string>> got;
        for (size_t i = 0; i <= 2 * files.size(); i++) {
            std::string body;
            uint8_t op = h.nextOpcode(*c, &body);
            if (op == Peer::OP_PING_ANSWER || op == 0) break;
            got.push_back({op, body});
        }
        std::vector<bool> shared;
        size_t at = 0;
        for (const SharedFile& f : files) {
            SCOPED_TRACE(f.name);
            if (at < got.size() && got[at] == std::make_pair((int)Peer::OP_NO_SUCH_FILE, f.hash)) {
                shared.push_back(false);
                at++;
                continue;
            }
            // A complete file: no bits, one padding byte.
            std::pair<int, std::string> name{Peer::OP_FILE_NAME,
                                             f.hash + le16((uint16_t)f.name.size()) + f.name};
            std::pair<int, std::string> status{Peer::OP_FILE_STATUS, f.hash + std::string(3, '\0')};
            EXPECT_TRUE(at < got.size() && got[at] == name);
            EXPECT_TRUE(at + 1 < got.size() && got[at + 1] == status);
            at += 2;
            shared.push_back(true);
        }
        EXPECT_EQ(got.size(), at) << "answers left over";
        return shared;
    }
    // Asks for every file, pass after pass of the core side, until a pass of the hashing
    // thread is over and every file is shared; with rescanMidway the user asks for a rescan
    // once a third of them are. Each file found counts as one whole copy uploaded.
    void askUntilAllShared(bool rescanMidway) {
        bool rescanned = !rescanMidway;
        int shared = 0;
        for (int round = 0; round < 2000 && !HasFailure(); round++) {
            for (int i = 0; i < 1000 && theMessageQ.run(0); i++) {
            }
            std::vector<bool> found = askForAll();
            shared = 0;
            for (size_t i = 0; i < found.size(); i++) {
                if (!found[i]) continue;
                shared++;
                gateway.addSent((const uint8_t*)files[i].hash.data(), files[i].size);
                files[i].sent++;
            }
            if (!rescanned && shared >= (int)files.size() / 3) {
                gateway.rescanShared();
                rescanned = true;
            } else if (rescanned && shared == (int)files.size() && theHashThread.isPassDone()) {
                break;
            }
        }
        ASSERT_TRUE(rescanned);
        ASSERT_EQ((int)files.size(), shared);
    }
    // Every file shared once, filed under its directory, with its path; the known list holds
    // each once with every copy counted.
    void expectEveryFileShared() {
        EXPECT_EQ((int)files.size(), gateway.sharedList.getList()->count());
        FileList* filed = gateway.findSharedDirectory((dir / "S").c_str());
        ASSERT_NE(nullptr, filed);
        EXPECT_EQ((int)files.size(), filed->getList()->count());
        EXPECT_EQ((int)files.size(), gateway.knownList.getList()->count());
        for (const SharedFile& f : files) {
            SCOPED_TRACE(f.name);
            const uint8_t* hash = (const uint8_t*)f.hash.data();
            FileMeta* shared = gateway.sharedList.findByHash(hash);
            ASSERT_NE(nullptr, shared);
            EXPECT_EQ(dir / ("S/" + f.name), shared->getPath());
            EXPECT_EQ(f.size, shared->getFileSize());
            FileMeta* known = gateway.knownList.findByHash(hash);
            ASSERT_NE(nullptr, known);
            EXPECT_EQ((float)f.sent, known->getTagFloat("# Sent"));
        }
    }

    TransferGateway& gateway = theTransferGateway;
    QueueLog otherMessages;
    Harness h;
    Sides sides;
    SidesScope scope{sides};
    // Made after the harness's: the active console, one that several threads may print to.
    CapturedUI sharedConsole;
    Client* c = nullptr;
    std::vector<SharedFile> files;
};

// A peer asks for the files while the hashing thread shares them, a rescan starts over in
// the middle of a pass and a second rescan finds every file known: each answer is "not
// shared" or the right record, never another file's or a half-made one, and in the end every
// file is shared once with its hash, none lost or doubled by the rescan, and no copy counted
// on the known records is lost to the thread's changes.
TEST_F(SharingWhileHashingTest, PeersGetNothingOrTheRightRecordWhileAPassRuns) {
    addFiles(12);
    gateway.rescanShared();
    askUntilAllShared(true);
    expectEveryFileShared();
    if (HasFailure()) return;
    gateway.rescanShared();
    askUntilAllShared(false);
    expectEveryFileShared();
    FileList saved;
    EXPECT_TRUE(saved.load(theTransferOptions.getKnownPath().c_str()));
    EXPECT_EQ((int)files.size(), saved.getList()->count());
    saved.deleteAll();
}

// A rescan of files that did not change keeps them shared all through the pass, so a peer
// asking for them never hears "no such file"; a file that changed or went away leaves at
// once, and the changed one comes back under the hash of its new bytes.
TEST_F(SharingWhileHashingTest, ARescanKeepsUnchangedFilesSharedThroughThePass) {
    addFiles(12);
    gateway.rescanShared();
    askUntilAllShared(false);
    if (HasFailure()) return;
    std::string oldHash = files[0].hash;
    std::vector<uint8_t> changed = randomBytes(files[0].size + 1, 7);
    writeText(dir / ("S/" + files[0].name), std::string(changed.begin(), changed.end()));
    ASSERT_EQ(0, unlink((dir / ("S/" + files[1].name)).c_str()));

    // The directories set again, as a console command does: they start out empty.
    gateway.setSharedDirectories({i4_string((dir / "S").c_str())});
    // The rescan it asks for, behind whatever the last pass left in the queue.
    for (int i = 0; i < 1000 && theMessageQ.pending() > 0; i++) theMessageQ.run(0);
    bool passSeen = false;
    for (int round = 0; round < 2000 && !passSeen && !HasFailure(); round++) {
        passSeen = theHashThread.isPassDone() && theMessageQ.pending() == 0;
        std::vector<bool> found = askForAll();
        for (size_t i = 2; i < files.size(); i++) EXPECT_TRUE(found[i]) << files[i].name;
        // The changed file's old record and the removed file's are gone from the start.
        EXPECT_FALSE(found[0]);
        EXPECT_FALSE(found[1]);
        for (int i = 0; i < 1000 && theMessageQ.run(0); i++) {
        }
    }
    ASSERT_TRUE(passSeen);
    EXPECT_EQ(nullptr, gateway.sharedList.findByHash((const uint8_t*)oldHash.data()));
    uint8_t digest[16];
    MD4::digest(changed.data(), changed.size(), digest);
    FileMeta* now = gateway.sharedList.findByHash(digest);
    ASSERT_NE(nullptr, now);
    EXPECT_EQ(dir / ("S/" + files[0].name), now->getPath());
    EXPECT_EQ((int)files.size() - 1, gateway.sharedList.getList()->count());
    FileList* filed = gateway.findSharedDirectory((dir / "S").c_str());
    ASSERT_NE(nullptr, filed);
    EXPECT_EQ((int)files.size() - 1, filed->getList()->count());
}

}  // namespace
