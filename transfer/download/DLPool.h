// Every operation runs on the core task thread, except findByHash, mayOpen
// and the counters, which any thread may call. The list's own lock (an
// LLsafe's) guards the downloads; a download's lock is taken inside it, never
// the other way round.
//
// Every download of the client, driven once per pass of the core task loop:
// the gate through which downloads start new connections, the free-space
// check once a minute, the ticks, the total rate, and a save of every record
// every five minutes. It starts, loads, ends and ranks the downloads.
#pragma once

#include <atomic>
#include <functional>
#include <stdint.h>

#include "core/TimeSliceTask.h"
#include "transfer/peer/PeerDownloads.h"
#include "transfer/peer/PeerEventHandler.h"
#include "transfer/share/TransferServices.h"
#include "util/LLsafe.h"

class Download;
class FileMeta;
class BoolArray;
class Peer;
class i4_file;
class UserMeta;

class DLPool : public TimeSliceTask, public PeerEventHandler, public LLSortFuntor {
public:
    // A record with newly verified crumbs is written within QUICK_SAVE_MS, every record
    // every SAVE_MS.
    enum { QUICK_SAVE_MS = 1000, SAVE_MS = 300000, SPACE_MS = 60000, SLOT_SPACING_MS = 500 };
    typedef std::function<int64_t(const char* path)> FreeSpace;

    DLPool();
    ~DLPool() override;

    // Gate, space check, ticks, total rate, periodic save; always false.
    bool run(int elapsedMs) override;
    // Message 10: the record stays the caller's.
    void startDownload(FileMeta* record);
    // Message 11: takes the download out of the pool, once.
    void endDownload(Download* download);
    // Message 29: the records left in the directory and in its subdirectories.
    void loadDownloads(const char* directory);
    void resumeDownload(FileMeta* record, int number);
    // With a reference added, or null.
    Download* findByHash(const uint8_t* hash);
    void addSourceFor(const uint8_t* hash, UserMeta* user, Peer* connection);
    void addSourceLinkFor(const uint8_t* hash, const char* text);
    // Priority 3 is one download's only.
    void setPriority(Download* download, int priority);
    void rerank();
    void checkSpace();
    // A peer granted an upload slot: true when a download took it (the peer
    // side answers the peer and gives its reference back).
    bool openSlot(Peer* connection);
    bool queued(Peer* connection);
    void placeInQueue(Peer* connection, int rank);
    void callbackFailed(uint32_t serverIp, uint32_t clientId);
    void newPeer(Peer* connection) override;
    void peerClosed(Peer* connection) override;
    void connectFailed(uint32_t ip, uint16_t port) override;
    void sharePartialFiles();
    // Saves and lets go of every download: the transfer side stops.
    void removeAll();
    // For the rerank's sort: higher priority first.
    bool compare(void* a, void* b) override;
    void dump();

    // Whether a download may start a connection now.
    bool mayOpen() const { return gate.load(); }
    // A source starts a connection: the gate closes for a while.
    void connectStarted();
    void transferStarted() { transferring++; }
    void transferEnded() { transferring--; }

    LLsafe& getDownloads() { return downloads; }
    int count() { return downloads.count(); }
    // The download at a 0-based place in the list, with a reference added, or null.
    Download* downloadAt(int index);

    // Where free space is asked; the file system by default (tests).
    void setFreeSpace(FreeSpace source) { freeSpace = source; }
    // What the downloads ask of and tell the other pools: the stand-ins until the transfer
    // side's start hands over its record.
    TransferServices& services() { return *serviceRecord; }
    void useServices(TransferServices* record) { serviceRecord = record; }

    // The answer to the peer protocol's questions about downloads; the
    // transfer side's start puts it in the services.
    class PeerAnswer : public PeerDownloads {
    public:
        explicit PeerAnswer(DLPool& pool) : pool(pool) {}
        bool partialFile(const uint8_t hash[16], uint32_t* size, uint32_t* crumbs) override;
        bool doneBits(const uint8_t hash[16], bool crumbs, BoolArray* out) override;
        void gotData(const uint8_t hash[16], uint32_t start, uint32_t end, const uint8_t* data,
                     Peer* from) override;
        void noFile(const uint8_t hash[16], Peer* from) override;
        void gotFileStatus(const uint8_t hash[16], Peer* from, BoolArray* crumbs) override;
        void gotPartHashes(const uint8_t hash[16], i4_file& payload) override;
        void gotCrumbHashes(const uint8_t hash[16], i4_file& payload, Peer* from) override;
        void gotFileName(const uint8_t hash[16], const char* name, Peer* from) override;
        void partnerAccepted(const uint8_t hash[16], Peer* from) override;
        void partnerDenied(const uint8_t hash[16], Peer* from) override;
        void gotCrumbAvailable(const uint8_t hash[16], Peer* from, uint32_t crumb) override;
        void addSourceFor(const uint8_t hash[16], UserMeta* user, Peer* from) override;
        void openSlot(Peer* from) override;
        void queued(Peer* from) override;
        void placeInQueue(Peer* from, uint32_t rank) override;

    private:
        DLPool& pool;
    };
    PeerAnswer peerAnswer;

private:
    void computeGate();
    // A file-per-part record found directly in the directory: it and its
    // part files move into a directory of their own there.
    void moveLooseRecord(const char* directory, const char* baseName, FileMeta& record);

    LLsafe downloads;
    int saveCountdown;
    int quickSaveCountdown;
    int spaceCountdown;
    uint32_t msSinceSlot;
    std::atomic<bool> gate;
    std::atomic<int> transferring;
    FreeSpace freeSpace;
    TransferServices* serviceRecord;
};

extern DLPool theDLPool;
