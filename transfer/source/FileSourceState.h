// The core task thread only, inside calls on its source (under the download's lock); no lock
// of its own.
//
// What a peer source does with each of its events, by state: the base answers for every
// state, each FSS_ class overrides what differs. A state replaces itself through
// FileSource::setState and touches none of its members afterwards.
#pragma once

#include <cstdint>

class FileSource;
class Peer;

class FileSourceState {
public:
    enum {
        UNASKED = 0,
        WAIT_CONNECTION = 1,
        WAIT_CHUNKS_BQ = 2,
        ON_QUEUE = 3,
        WAIT_CHUNKS = 4,
        TRANSFERRING = 5,
        BAD_SOURCE = 6,
        GONE = 7,
        NO_NEEDED = 8,
        ASKING_PARTNER = 9,
        PARTNER = 10
    };
    // The first string of the status texts; the text of status s is string s + 78.
    enum { STRING_BASE = 78 };
    enum { PARTNER_SCORE = 100 };

    FileSourceState(FileSource* source, int status);
    virtual ~FileSourceState();
    FileSourceState(const FileSourceState&) = delete;
    FileSourceState& operator=(const FileSourceState&) = delete;

    int getStatus() const { return status; }

    // What the source adds to each crumb it holds in the download's crumb map.
    virtual int getWeight();
    virtual double getSpeed();
    // Gives the three requested ranges back.
    virtual void onEnter();
    virtual void noNeededParts();
    virtual void pause();
    virtual void cancel();
    virtual void diskFull();
    virtual void downloadFinished();
    virtual void shutdown();
    virtual void refound();
    virtual bool tryConnect();
    virtual void requestBlocks();
    virtual void refPeer(Peer* connection);
    virtual void newPeer(Peer* connection);
    virtual bool openSlot();
    virtual void gotFileStatus();
    virtual bool queued(Peer* connection);
    virtual void connectionLost();
    virtual void blockDone(Peer* connection);
    virtual bool noFile(Peer* connection);
    virtual void placeInQueue(Peer* connection, int rank);
    virtual bool callbackFailed(uint32_t serverIp, uint32_t clientId);
    virtual bool connectFailed(uint32_t ip, uint16_t port);
    // False: the download deletes the source.
    virtual bool tick(int elapsedMs);
    virtual void askPartner();
    virtual double partnerScore();
    virtual void partnerEnded();
    virtual bool partnerAccepted(Peer* connection);
    virtual bool partnerDenied(Peer* connection);
    virtual bool gotPartnerRequest(Peer* connection);

protected:
    bool own(Peer* connection) const;
    bool sameUser(Peer* connection) const;
    // A connection to the peer: ask for an upload when it has something needed, first
    // asking its file status when that is unknown and worth asking.
    void newPeerDecision(Peer* connection);
    // Asks for partnership, connecting first when needed.
    void askPartnerProcedure();
    // Leaving the peer's upload slot takes two steps around the change of state: holdSlot
    // references the connection (null without one), then offerSlot posts message 24 so that
    // the still-open slot is offered to the other downloads. The message names the
    // connection by its serial: a later peer at the same address is never meant.
    static Peer* holdSlot(FileSource* source);
    static void offerSlot(Peer* held);
    // Both steps around one change of state.
    static void handOverSlot(FileSource* source, FileSourceState* next);

    FileSource* source;
    int status;
};
