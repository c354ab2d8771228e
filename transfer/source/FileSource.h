// The core task thread only, inside calls from its download (under the download's lock),
// the download pool and the partner manager; no lock of its own.
//
// One peer that has, or may have, a download's file: what the client knows of it for that
// download (its crumbs and how fresh that knowledge is, its name for the file, the place in
// its upload queue, up to three outstanding ranges) and the state object that does the work.
// The source keeps the download's crumb weights in step with the crumbs it holds.
#pragma once

#include <cstdint>

#include "i4min/string/i4_string.h"
#include "meta/UserMeta.h"
#include "transfer/source/FileSourceInterface.h"
#include "util/BoolArray.h"

class Download;
class FileSourceState;

class FileSource : public FileSourceInterface {
public:
    enum {
        STATUS_STALE_MS = 900000,
        COOL_DOWN_LIMIT_MS = 1200000,
        // Ranges asked of a peer without a valid hello trailer are cut to this.
        UNTRUSTED_RANGE = 184320
    };

    // The user record is copied; no reference is added to the connection.
    FileSource(UserMeta* user, Download* download, Peer* connection);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    double getSpeed() override;
    int getStatus() override;
    const char* getUserName() override;
    const char* getFileName() override;
    UserMeta* getUserMeta() override { return &user; }
    int getQueueRank() override { return queueRank; }
    BoolArray* getAvailability() override { return &crumbs; }
    bool isSameUser(UserMeta* other) override { return user.isSameUser(other); }
    void pause() override;
    void cancel() override;
    void downloadFinished() override;
    void diskFull() override;
    void shutdown() override;
    void refound() override;
    void connectionLost(Peer* connection) override;
    bool gotFileStatus(Peer* connection, BoolArray* bits) override;
    bool gotCrumbAvailable(Peer* connection, uint32_t crumb) override;
    void newPeer(Peer* connection) override;
    bool queued(Peer* connection) override;
    void placeInQueue(Peer* connection, int rank) override;
    bool noFile(Peer* connection) override;
    bool tryConnect() override;
    bool requestHashes() override;
    bool askedForHashes(Peer* connection) override;
    void blockDone(Peer* connection) override;
    bool openSlot(Peer* connection) override;
    void gotFileName(const char* name, Peer* connection) override;
    bool callbackFailed(uint32_t serverIp, uint32_t clientId) override;
    bool connectFailed(uint32_t ip, uint16_t port) override;
    void getRequests(uint32_t starts[3], uint32_t ends[3]) override;
    void requestBlocks() override;
    void releaseRequest(int i) override;
    double partnerScore() override;
    void askPartner() override;
    void partnerEnded() override;
    bool partnerAccepted(Peer* connection) override;
    bool partnerDenied(Peer* connection) override;
    bool gotPartnerRequest(Peer* connection) override;
    bool tick(int elapsedMs) override;

    // Deletes the current state, then enters the next one. A state that calls this must not
    // touch its own members afterwards.
    void setState(FileSourceState* next);
    FileSourceState* getState() { return state; }
    // The peer is taken to have every crumb, as of now.
    void assumeComplete();
    // Gives the three ranges back to the download's crumb map and frees the slots.
    void releaseRequests();

    Download* getDownload() { return download; }
    Peer* getConnection() { return connection; }
    void setConnection(Peer* c) { connection = c; }
    BoolArray& getCrumbs() { return crumbs; }
    bool isStatusKnown() const { return statusKnown; }
    int getStatusAge() const { return statusAge; }
    int getCoolDown() const { return coolDown; }
    void setCoolDown(int ms) { coolDown = ms; }
    int getRetries() const { return retries; }
    void setRetries(int n) { retries = n; }
    void setQueueRank(int rank) { queueRank = rank; }
    // The receive rate when the source last stopped being a partner.
    double getRememberedSpeed() const { return rememberedSpeed; }
    void setRememberedSpeed(double bytesPerMs) { rememberedSpeed = bytesPerMs; }
    uint32_t& requestStart(int i) { return starts[i]; }
    uint32_t& requestEnd(int i) { return ends[i]; }
    // The longest range to ask of this peer; 0 for no limit.
    uint32_t maxRangeLength() const { return user.trailerValid ? 0 : UNTRUSTED_RANGE; }
    // Sends 71 with the three pairs, outstanding ones included.
    void sendRequests();
    const uint8_t* getFileHash();
    // Whether the peer has a crumb the download still needs.
    bool hasNeededCrumb();
    // A range this peer has is asked from no source (one that left gave it back).
    bool hasUnaskedRange();
    // The peer's "pr" level: from its connection when there is one, else from the record.
    int prLevel();

private:
    // Takes the connection's user record, asks its name for the file when unknown, and the
    // hash sets when the download lacks them: a file that arrives within a poll of the
    // download would otherwise arrive unchecked.
    void adopt(Peer* c);

    FileSourceState* state;
    int statusAge;
    double rememberedSpeed;
    int coolDown;
    int retries;
    UserMeta user;
    BoolArray crumbs;
    int queueRank;
    Peer* connection;
    Peer* hashesAskedOn;  // the connection of an unanswered request for the hash sets
    i4_string fileName;
    Download* download;
    bool statusKnown;
    uint32_t starts[3];
    uint32_t ends[3];
};
