// The core task thread, except: saveQueue on the main thread at stop, once that thread has
// ended; downloadAnswer from any thread (off the core task thread its notices are
// kept under noticeLock and carried out by the next pass). The slots' own locks guard what
// the UI readers see of them.
#pragma once

#include <stdint.h>
#include <thread>
#include <vector>

#include "core/TimeSliceTask.h"
#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/peer/PeerEventHandler.h"
#include "transfer/peer/PeerUploads.h"
#include "transfer/upload/SlotTuner.h"
#include "transfer/upload/Upload.h"
#include "transfer/upload/UploadNotices.h"
#include "transfer/upload/UploadQueue.h"
#include "util/LL.h"

class Peer;
class UploadSlot;
class UserMeta;

// The upload side: the slots, the upload queue, the slot tuner and the deferred queue-rank
// notices. Peers ask to be queued (84) or ask for ranges (71); idle slots take the next peer
// from the queue by priority, grant it the slot (85) and serve its request.
class UploadPool : public TimeSliceTask, public PeerEventHandler, public LLSortFuntor {
public:
    enum { SAVE_MS = 600000, START_SLOTS = 2 };

    UploadPool();
    ~UploadPool() override;

    bool run(int elapsedMs) override;
    void newPeer(Peer* peer) override;
    void connectFailed(uint32_t ip, uint16_t port) override;
    void callbackFailed(uint32_t serverIp, uint32_t clientId);
    void peerClosed(Peer* peer) override;
    void cancelRankNotice(Peer* connection);
    UploadSlot* findSlotOf(UserMeta* user);
    UploadSlot* partnerSlot(Peer* connection);
    void addWaitingPartner(Peer* connection);
    // Writes uploadq.dat, then lets every slot go: their peers go back to the queue's heads.
    void saveQueue(const char* path);
    // Message 0: uploadq.dat into the queue.
    void loadQueue(const char* path);
    bool compare(void* a, void* b) override;
    void sortSlots();
    // The ranges an ending upload finished, kept for the next upload of the same file to the
    // same peer (a slot is often given up and granted again between two requests).
    // The measured rate goes along too, when it is fresh: a rate measured longer ago than
    // RATE_KEPT_MS says little of the line now.
    void rememberRanges(Upload* ending);
    void recallRanges(Upload* starting);
    enum { RATE_KEPT_MS = 10000 };

    // The slot list, in order, for the listings; the pointers stay the pool's.
    void slots(std::vector<UploadSlot*>& out);
    int slotCount() { return slotList.count(); }
    UploadQueue& getQueue() { return queue; }
    SlotTuner& getTuner() { return tuner; }
    int rankNoticeCount() { return rankNotices.count(); }

    // The answer to the peer protocol's requests; the transfer side's start puts it in the
    // services.
    class PeerAnswer : public PeerUploads {
    public:
        explicit PeerAnswer(UploadPool& pool) : pool(pool) {}
        void handleRequest(Peer* from, const uint8_t hash[16], const uint32_t starts[3],
                           const uint32_t ends[3]) override;
        void enqueue(Peer* from, const uint8_t hash[16]) override;
        void peerCancelled(Peer* from) override;
        void removeWaitingPartner(UserMeta* user) override;

    private:
        UploadPool& pool;
    };
    PeerAnswer peerAnswer;

    // What the downloads tell the uploads, from any thread; the transfer side's start puts it
    // in the services.
    class DownloadAnswer : public UploadNotices {
    public:
        explicit DownloadAnswer(UploadPool& pool) : pool(pool) {}
        void announceCrumb(const uint8_t* fileHash, int crumb) override;
        void pauseFile(const uint8_t* fileHash, bool paused) override;

    private:
        UploadPool& pool;
    };
    DownloadAnswer downloadAnswer;

private:
    UploadPool(const UploadPool&) = delete;
    UploadPool& operator=(const UploadPool&) = delete;

    // What the queue asks of the slots.
    class QueueAnswer : public UploadQueue::Owner {
    public:
        explicit QueueAnswer(UploadPool& pool) : pool(pool) {}
        bool holdsUser(UserMeta* user) override;
        void deferRankNotice(Peer* connection, uint32_t rank) override;

    private:
        UploadPool& pool;
    };

    // The slots and rates as the tuner sees them.
    class TunerAnswer : public SlotTuner::Host {
    public:
        explicit TunerAnswer(UploadPool& pool) : pool(pool) {}
        double sendRate() override;
        double uploadRate() override;
        double uploadLimit() override;
        double peakRate() override;
        void countSlots(int* count, int* idle, double* idleWeight) override;
        UploadSlot* addSlot() override;
        UploadSlot* firstAfterShuffle() override;
        int priorityOf(UploadSlot* slot) override;
        const char* nameOf(UploadSlot* slot) override;
        void pause(UploadSlot* slot) override;
        void resume(UploadSlot* slot) override;
        void remove(UploadSlot* slot) override;

    private:
        UploadPool& pool;
    };

    struct RankNotice {
        Peer* connection;  // not referenced: peerClosed drops the notice
        uint32_t rank;
    };
    struct Recent {
        uint8_t user[16];
        uint8_t file[16];
        std::vector<Upload::Range> ranges;
        Upload::Rate rate;
        int64_t endedMs;
    };
    enum { MAX_RECENT = 32 };
    // The index of the entry for the upload's peer and file, or -1.
    int recentOf(Upload* u);
    struct Notice {
        uint8_t hash[16];
        int crumb;  // -1: a pause or resume
        bool paused;
    };

    bool onCoreThread() const;
    // Group 0 of uploadq.dat: a copy of each slot's peer (null without one).
    void slotEntries(std::vector<UploadQueue::SlotEntry>& out);
    static void freeEntries(std::vector<UploadQueue::SlotEntry>& entries);
    // At once on the core task thread, else on its next pass.
    void submit(const uint8_t* fileHash, int crumb, bool paused);
    void carryOut(const Notice& n);
    void takeNotices();

    std::thread::id coreThread;
    bool coreKnown;
    LL rankNotices;
    int saveTimer;
    QueueAnswer queueAnswer;
    TunerAnswer tunerAnswer;
    SlotTuner tuner;
    LL slotList;
    UploadQueue queue;
    i4_mutex noticeLock;
    std::vector<Notice> notices;
    std::vector<Recent> recent;  // oldest first
    // Nothing is saved before the stored queue was read: an early quit keeps it.
    bool loaded;
};

extern UploadPool theUploadPool;
