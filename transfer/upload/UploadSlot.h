// The core task thread. The lock guards the upload and pending-peer pointers against the
// user interfaces' readers.
#pragma once

#include <stdint.h>

#include "i4min/threads/linux/i4_mutex.h"
#include "transfer/upload/UploadSlotInterface.h"

class Peer;
class Upload;
class UploadPool;

// One upload slot: serves one peer at a time. It may also hold a pending peer, picked from
// the queue and granted the slot (opcode 85), that has not asked for data yet; a pending
// peer of higher priority takes the slot over once it asks.
class UploadSlot : public UploadSlotInterface {
public:
    enum {
        IDLE_PRIORITY = -30000,
        PARTNER_PRIORITY = 30000,
        PENDING_MS = 90000,
        // A late connection leaves the peer this long to ask.
        LATE_CONNECTION_MS = 75000,
        // With no room for a connection, the next attempt comes 60 s later.
        NO_ROOM_MS = 30000
    };

    explicit UploadSlot(UploadPool& pool);
    // Puts its peers back at the head of their queues; see UploadPool::saveQueue.
    ~UploadSlot() override;

    void tick(int ms);
    void connect();
    bool newPeer(Peer* connection);
    bool peerClosed(Peer* connection);
    bool connectFailed(uint32_t ip, uint16_t port);
    bool callbackFailed(uint32_t serverIp, uint32_t clientId);
    bool handleRequest(const uint8_t hash[16], const uint32_t starts[3], const uint32_t ends[3],
                       Peer* connection);
    bool startUpload(Upload* upload, const uint32_t starts[3], const uint32_t ends[3],
                     bool fromPending);
    Upload* makeUpload(const uint8_t hash[16], Peer* connection);
    void endUpload(Upload* upload);
    // An upload that could not read what its peer asked for ends, and the peer is told at
    // once instead of waiting for data that never comes.
    void endFailedUpload(Upload* upload);
    void pause();
    void resume();
    void releasePending();
    // The pool goes away: peers and upload are let go without telling anyone.
    void dropQuietly();
    // The connection is closing: no reference on it is kept.
    void forgetConnection(Peer* connection);
    bool holdsUser(UserMeta* user);
    const char* peerName();
    double idleWeight() const { return upload ? 0.0 : 3.0; }

    double rate() override;
    bool getPeer(UserMeta* out) override;
    const char* fileName(i4_string& out) override;
    const uint8_t* fileHash() override;
    int priority() override { return prio; }

    void setPriority(int p) { prio = p; }
    int getTimer() const { return timer; }
    bool isRetrying() const { return retry; }
    Upload* getUpload() { return upload; }
    UserMeta* getPending() { return pending; }
    bool isIdle() const { return !upload && !pending; }

private:
    UploadSlot(const UploadSlot&) = delete;
    UploadSlot& operator=(const UploadSlot&) = delete;

    // Opcode 85 on the connection, which the slot holds a reference on until the peer asks
    // or is let go.
    void grant(Peer* connection);
    void letGrantGo();
    void changed();

    UploadPool& pool;
    i4_mutex lock;
    bool retry;
    int timer;
    int prio;
    Upload* upload;
    UserMeta* pending;
    Peer* granted;
};
