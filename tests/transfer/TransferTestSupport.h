// Test helpers of the transfer side: a scratch base directory that the settings and the
// transfer options point at, a queue that keeps what is posted, and a transfer UI that
// records its events.
#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/TransferUI.h"
#include "i4min/TempDir.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_thread.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserMeta.h"
#include "support/CapturedUI.h"
#include "transfer/friends/MessageSession.h"
#include "transfer/share/TransferOptions.h"

// Polls until done holds, for at most about limitMs; answers done's last value.
inline bool waitFor(const std::function<bool()>& done, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 10) {
        if (done()) return true;
        i4_sleep_ms(10);
    }
    return done();
}

// The messages posted to a private queue, payloads kept until the queue goes.
class RecordingQueue : public MessageHandler {
public:
    struct Posted {
        int id;
        std::shared_ptr<FileMeta> file;
        std::shared_ptr<i4_string> text;
    };

    RecordingQueue() {
        for (int id = 0; id < MSG_ID_LIMIT; ++id) queue.setHandler(this, id);
    }
    void handleMessage(Message* m) override {
        taken.push_back({m->id, m->take<FileMeta>(), m->take<i4_string>()});
    }

    // Takes in everything posted so far.
    std::vector<Posted>& drain() {
        while (queue.run(0)) {
        }
        return taken;
    }
    std::vector<FileMeta*> shared() {
        std::vector<FileMeta*> out;
        for (Posted& p : drain())
            if (p.id == MSG_SHARE_FILE) out.push_back(p.file.get());
        return out;
    }
    int count(int id) {
        int n = 0;
        for (Posted& p : drain()) n += p.id == id;
        return n;
    }

    MessageQ queue;

private:
    std::vector<Posted> taken;
};

class RecordingTransferUI : public TransferUI {
public:
    void hashingStatus(const char* status) override { add("status " + std::string(status)); }
    void shareListChanged() override { add("share list changed"); }
    void sharedFileChanged(FileMeta* f) override { add("changed " + std::string(f->getName())); }
    void sharedFileRemoved(FileMeta* f) override { add("removed " + std::string(f->getName())); }
    void errorCantStartDoor() override { add("door error"); }
    void friendsChanged() override { add("friends changed"); }
    void peerConnected(UserMeta* u) override { add("connected " + nameOf(u)); }
    void peerDisconnected(UserMeta* u, uint64_t, uint64_t) override {
        add("disconnected " + nameOf(u));
    }
    void friendDirList(UserMeta* u) override { add("directories of " + nameOf(u)); }
    void friendFileList(UserMeta* u, const char* dir) override {
        add("files of " + nameOf(u) + " in " + dir);
    }
    void chatMessage(MessageSession* s, const char* text) override {
        add("chat " + nameOf(s->getUser()) + ": " + text);
    }
    void chatSessionChanged(MessageSession* s) override {
        add("session " + nameOf(s->getUser()) + " " + std::to_string(s->getState()));
    }

    std::vector<std::string> events() {
        std::lock_guard<std::mutex> hold(lock);
        return seen;
    }
    bool saw(const std::string& event) {
        std::lock_guard<std::mutex> hold(lock);
        for (const std::string& s : seen)
            if (s == event) return true;
        return false;
    }
    void clear() {
        std::lock_guard<std::mutex> hold(lock);
        seen.clear();
    }

private:
    static std::string nameOf(UserMeta* u) {
        const char* name = u ? u->getName() : nullptr;
        return name ? name : "?";
    }
    void add(const std::string& s) {
        std::lock_guard<std::mutex> hold(lock);
        seen.push_back(s);
    }
    std::mutex lock;
    std::vector<std::string> seen;
};

// A base directory for one test: the settings and the transfer options read from it, the
// console and the transfer events are captured.
class TransferFixture : public ::testing::Test {
protected:
    void SetUp() override {
        initSpecialTags();
        theCoreOptions.load(dir.path.c_str());
        theTransferOptions.load();
        savedUI = theTransferUI;
        theTransferUI = &events;
    }
    void TearDown() override { theTransferUI = savedUI; }

    std::string incoming() { return theTransferOptions.getIncoming().c_str(); }

    CapturedUI console;
    TempDir dir;
    RecordingTransferUI events;
    TransferUI* savedUI = nullptr;
};
