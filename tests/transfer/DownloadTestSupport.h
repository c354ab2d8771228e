// Helpers of the download tests: a temporary and an incoming directory made
// the transfer side's own for one test, file contents and their records.
#pragma once

#include <gtest/gtest.h>
#include <random>
#include <stdint.h>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "core/MessageHandler.h"
#include "core/MessageQ.h"
#include "i4min/TempDir.h"
#include "meta/FileHashState.h"
#include "meta/FileMeta.h"
#include "transfer/download/TempFiles.h"
#include "transfer/share/TransferOptions.h"

// Takes every message of the queue while it lives, so that a test sees what
// was posted; what the messages carry goes with them.
struct QueueLog : MessageHandler {
    QueueLog() {
        for (int id = 0; id < MSG_ID_LIMIT; id++) theMessageQ.setHandler(this, id);
        drain();
    }
    ~QueueLog() override {
        drain();
        for (int id = 0; id < MSG_ID_LIMIT; id++) theMessageQ.setHandler(nullptr, id);
    }
    void handleMessage(Message* m) override { seen.push_back(m->id); }
    // The ids delivered since the last call, in order.
    std::vector<int> drain() {
        for (int i = 0; i < 10000 && theMessageQ.pending() > 0; i++) theMessageQ.run(0);
        std::vector<int> out;
        out.swap(seen);
        return out;
    }
    std::vector<int> seen;
};

// base: a directory on the file system the test needs ("" for the default).
// What the files post (shared entries and the like) goes with the directories.
struct TransferDirs {
    explicit TransferDirs(const std::string& base = "") : root(base) {
        temp = root / "temp";
        incoming = root / "incoming";
        mkdir(temp.c_str(), 0777);
        mkdir(incoming.c_str(), 0777);
        theTransferOptions.setTemp(temp.c_str());
        theTransferOptions.setIncoming(incoming.c_str());
        theTransferOptions.saveCor = 1;
        theTempFiles.reset();
    }
    QueueLog posted;
    TempDir root;
    std::string temp;
    std::string incoming;
};

inline std::vector<uint8_t> randomBytes(uint64_t size, uint32_t seed) {
    std::vector<uint8_t> b((size_t)size);
    std::mt19937 rng(seed);
    for (size_t i = 0; i < b.size(); i += 4) {
        uint32_t v = rng();
        for (size_t k = 0; k < 4 && i + k < b.size(); k++) b[i + k] = (uint8_t)(v >> (8 * k));
    }
    return b;
}

// The record of the content as the hashing of shared files makes it: size,
// file hash, part and crumb hashes, with the given name and no path.
inline FileMeta* recordOf(const std::vector<uint8_t>& content, const char* name,
                          const std::string& scratchDir) {
    std::string path = scratchDir + "/hash-scratch";
    writeText(path, std::string(content.begin(), content.end()));
    FileHashState state;
    FileMeta* record = new FileMeta(path.c_str(), state);
    while (record->hashStep(state)) {
    }
    record->setName(name);
    record->setPath("");
    remove(path.c_str());
    return record;
}
#include "core/MessageHandler.h"
#include "core/MessageQ.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/DownloadWorkers.h"
#include "transfer/download/PartialFile.h"

// Keeps the work a download hands over, as a worker would, until the test runs it.
struct HeldWork : DownloadWorkers {
    HeldWork() : saved(theDLPool.services().workers) { theDLPool.services().workers = this; }
    ~HeldWork() override {
        theDLPool.services().workers = saved;
        for (Download* d : checks) d->release();
        for (Download* d : completions) d->release();
    }
    void queueVerify(Download* d) override {
        d->addRef();
        checks.push_back(d);
    }
    void startCompletion(Download* d) override {
        d->addRef();
        completions.push_back(d);
    }
    void runChecks() {
        std::vector<Download*> now;
        now.swap(checks);
        for (Download* d : now) {
            d->verify();
            d->hashDone();
        }
    }
    void runCompletions() {
        std::vector<Download*> now;
        now.swap(completions);
        for (Download* d : now) {
            d->runCompletion();
            d->release();
        }
    }
    DownloadWorkers* saved;
    std::vector<Download*> checks;
    std::vector<Download*> completions;
};
