// The core task thread, except save and load: load runs on it with message 0, save also on
// the main thread at stop once that thread has ended. No lock.
//
// uploadq.dat (integers little-endian):
//   offset  width  field
//   0       8      i64 time of writing, seconds since 1970
//   8       4      u32 G, the number of groups (file queues + 1)
//   12      ...    G groups: u32 n, then n entries of
//                    16    file hash
//                    ...   the peer's UserMeta, disk form
// Group 0 is the slots in slot-list order (a zero hash without an upload, an empty record
// without a peer); the others are the file queues in service order, heads first.
#pragma once

#include <stdint.h>
#include <vector>

#include "util/LL.h"

class FileQueue;
class Peer;
class i4_field_reader;
class UserMeta;

// The peers waiting for an upload slot: one queue per file, served by priority with turns
// among equals, and partners ahead of everybody.
class UploadQueue {
public:
    // What the queue asks of the pool that holds it.
    class Owner {
    public:
        virtual ~Owner() {}
        // A slot serves the user or waits for it.
        virtual bool holdsUser(UserMeta* user) = 0;
        virtual void deferRankNotice(Peer* connection, uint32_t rank) = 0;
    };
    // One entry of group 0.
    struct SlotEntry {
        uint8_t hash[16];
        UserMeta* user;  // the caller's; null writes an empty record
    };
    // A stored queue older than this many seconds (or from the future) is dropped.
    static constexpr uint64_t MAX_AGE_S = 43199;
    static constexpr int MIN_SAVED = 500;
    enum LoadResult { LOADED, NOT_LOADED, TOO_OLD, DAMAGED };

    UploadQueue();
    ~UploadQueue();
    void setOwner(Owner* o) { owner = o; }

    // The place the user already has, else the user joins the tail of the file's queue.
    int add(UserMeta* user, const uint8_t hash[16]);
    // The same at the head, for a peer a slot gives up.
    void addFront(UserMeta* user, const uint8_t hash[16]);
    // add, then the rank (place x file queues) goes out on the pool's next pass.
    void addAndNotify(Peer* connection, const uint8_t hash[16]);
    // The user's entry and place (0 in a slot or on the partner list), or null.
    UserMeta* find(UserMeta* user, int* position);
    FileQueue* fileQueue(const uint8_t hash[16]);
    FileQueue* findFileQueue(const uint8_t hash[16]);
    void setFilePriority(const uint8_t hash[16], int priority);
    // The next peer for a slot of this priority, now the caller's, or null.
    UserMeta* next(int slotPriority);
    void addWaitingPartner(Peer* connection);
    bool hasWaitingPartner(UserMeta* user);
    // Every waiting peer and file queue goes; the served count stays.
    void clear();
    void removeWaitingPartner(UserMeta* user);

    // Writes the slots' entries and the queues, at most a cap of entries in all; prints
    // "Upload Queue not saved" on failure.
    bool save(const char* path, const std::vector<SlotEntry>& slots);
    bool save(const char* path, const std::vector<SlotEntry>& slots, int64_t nowS,
              int64_t uptimeMs);
    // A file that is missing or cannot be read prints "Upload Queue not loaded".
    LoadResult load(const char* path);
    LoadResult load(const char* path, int64_t nowS);
    // The cap of entries saved after uptimeMs with `served` peers served.
    static int saveCap(int served, int64_t uptimeMs);

    LL& getFileQueues() { return queues; }
    int waitingCount() const { return waiting; }
    int servedCount() const { return served; }
    int fileQueueCount() const { return queueCount; }
    int getBestPriority() const { return best; }

private:
    UploadQueue(const UploadQueue&) = delete;
    UploadQueue& operator=(const UploadQueue&) = delete;

    bool known(UserMeta* user);
    void readGroups(i4_field_reader& in);
    static int64_t fileSecondsNow();

    Owner* owner;
    LL partners;  // UserMeta copies, owned
    LL queues;    // FileQueue, owned
    int best;
    int queueCount;
    int waiting;
    int served;
};
