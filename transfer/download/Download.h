// The core task thread runs nearly everything, each under the download's own
// lock; a worker runs hashDone and runCompletion, taking the lock only to
// replace the state. The lock is held by one thread at a time and is not
// recursive: what runs under it calls only the unlocked operations. Lock
// order: the pool's list, then a download, then its partial file.
//
// One file being fetched: its state, its partial file and crumb map, its
// sources, and the finder that asks the servers for more sources.
// Reference-counted: the pool's list holds one reference, lookups and
// messages hold further ones.
#pragma once

#include <atomic>
#include <memory>
#include <stdint.h>
#include <vector>

#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_semaphore.h"
#include "meta/UserMeta.h"
#include "transfer/download/DLProgress.h"
#include "transfer/download/DownloadInterface.h"
#include "util/LL.h"
#include "util/RefCounter.h"

class BoolArray;
class DownloadSources;
class DownloadState;
class FileMeta;
class FileSourceInterface;
class i4_file;
class PartialFile;
class Peer;

class Download : public DownloadInterface, public RefCounter {
public:
    enum { PRIORITY_LOW = 0, PRIORITY_NORMAL = 1, PRIORITY_HIGH = 2, PRIORITY_HIGHEST = 3 };

    Download();
    ~Download() override;

    // A new download of the record's file (its name made safe, its
    // availability tag dropped), kept one file per part unless the settings'
    // partstyle says one file; its record written at once. False, with string
    // 18 printed, when its files cannot be made.
    bool startNew(FileMeta* record);
    // A download from a ".part.met" record: number 0 for one data file, else
    // the file-per-part download's number. Verified by a worker next; a
    // download whose data cannot be opened stays listed in the error state.
    void load(FileMeta* record, int number);

    // DownloadInterface.
    void addSourceLink(const char* text) override;
    const char* getFileName() override;
    uint32_t getFileSize() override;
    int crumbCount() override;
    void changeWeight(const uint8_t* flags, int delta) override;
    void changeCrumbs(const uint8_t* oldFlags, const uint8_t* newFlags, int delta) override;
    int refreshCrumbGaps(int crumb) override;
    int nextRange(const uint8_t* flags, uint32_t& start, uint32_t& end) override;
    bool randomChunkRange(uint32_t& start, uint32_t& end) override;
    bool writeData(const uint8_t* data, uint32_t start, uint32_t end) override;
    // Under the lock: every block of the file, from a peer or another source,
    // reaches the disk here. False when the download takes no more for now:
    // the block completed it (it finishes), or the disk refused it (the
    // unwritten range is handed out again later, and the download waits for
    // room).
    bool storeBlock(const uint8_t* data, uint32_t start, uint32_t end);

    // A source for the user, once: the same user again is only told it was found again.
    void addSource(UserMeta* user, Peer* connection);

    // Forwarded to the state and the sources, each under the lock.
    void tick(int elapsedMs);
    void pause();
    void cancel();
    // Gives the lock back before the pool reranks.
    void resume();
    void diskFull();
    void spaceAvailable();
    // Writes the record and lets go of the files: the client stops.
    void shutdown();
    // The worker's check is over; gives back the worker's reference.
    void hashDone();
    // end - start bytes of the file at data, received from the connection.
    void gotData(uint32_t start, uint32_t end, const uint8_t* data, Peer* connection);
    void gotFileName(const char* name, Peer* connection);
    void callbackFailed(uint32_t serverIp, uint32_t clientId);
    void connectFailed(uint32_t ip, uint16_t port);
    bool openSlot(Peer* connection);
    bool setHighest();
    // A rerank chose another download: the highest state gives way to the
    // downloading one; any other state stays, with priority 3 lowered to 2.
    void giveUpHighest();
    void partnerAccepted(Peer* connection);
    void partnerDenied(Peer* connection);
    void peerClosed(Peer* connection);
    void newPeer(Peer* connection);
    void placeInQueue(Peer* connection, int rank);
    void gotFileStatus(Peer* connection, BoolArray* crumbs);
    void gotCrumbAvailable(Peer* connection, uint32_t crumb);
    bool queued(Peer* connection);
    void noFile(Peer* connection);
    void gotPartnerRequest(Peer* connection, UserMeta* user);
    int getReserveSize();
    int getSpaceNeeded();

    // The state's status id, or 0 when the lock stays busy for 1 ms.
    int getStatus();
    // Under the lock: not from code that holds it.
    bool isPaused();
    LL* getSources() { return &sources; }
    // Hash sets from a peer, under the lock (their checks update the crumb map). Crumb hashes
    // are taken only from a connection that answers a source's own request.
    void gotPartHashes(i4_file& packet);
    void gotCrumbHashes(i4_file& packet, Peer* from);
    // The worker's check of a loaded download, part by part; what each part's check found
    // reaches the crumb map under the lock, since the core task thread changes the map too. A
    // set stop flag ends it between parts.
    void verify(const std::atomic<bool>* stop = nullptr);
    // Share of the crumbs that some source has (done ones count as had).
    double getAvailability();
    // No gap is left: the completing worker takes over. Under the lock.
    void finish();
    void updateLastSeenComplete();
    // The console's listing of the sources, through the pager.
    void showUserFileStatus();

    // The completing worker's one step: check, move and share, then the
    // state that follows (done, corrupt, waiting for room, or queued again).
    void runCompletion();

    // For the states, which run under the lock.
    void setState(DownloadState* next);
    DownloadState* getState() { return state; }
    PartialFile* getPartialFile() { return partialFile; }
    DLProgress& getProgress() { return progress; }
    DownloadSources* getSourceFinder() { return sourceFinder; }
    const uint8_t* getFileId() const { return fileId; }
    int getPriority() const { return priority.load(); }
    void setPriority(int p) { priority = p < 0 ? 0 : p > 3 ? 3 : p; }
    double getSpeed() const { return speed.load(); }
    void setSpeed(double bytesPerMs) { speed = bytesPerMs; }
    // Queues message id with a reference to this download, which its handler gives back.
    void post(int id);

    void lock();
    // Takes the lock only when it is free at once.
    bool tryLock();
    void unlock();

private:
    // diskFull without the lock: the state, then every source.
    void noRoom();
    void addNewSource(FileSourceInterface* source);
    // After a completion that goes on: the sources that were cancelled when it began are
    // sources again at once. Under the lock, on the core task thread.
    void sourcesAgain();
    void clearSources();

    i4_semaphore lockSignal;
    DownloadState* state;
    bool allAvailable;
    DownloadSources* sourceFinder;
    LL sources;
    DLProgress progress;
    uint8_t fileId[16];
    PartialFile* partialFile;
    std::atomic<double> speed;
    std::atomic<int> priority;
    // The users of the sources when the completion began, while it runs.
    std::vector<std::unique_ptr<UserMeta>> finishedUsers;
    bool goesOn = false;  // a completion went on: sourcesAgain at the next tick
};
