// Called on the core task thread, under its download's lock where the
// download holds it; no lock of its own.
//
// A download's view of one place that can deliver the file's bytes: a peer,
// or another kind of source such as an HTTP address. A "taken" answer tells the
// download that this source accepted an event that the download offers to its
// sources one after another.
#pragma once

#include <stdint.h>

class BoolArray;
class Peer;
class UserMeta;

class FileSourceInterface {
public:
    virtual ~FileSourceInterface();
    // Bytes per millisecond.
    virtual double getSpeed() = 0;
    // The source state's id; its text is string id + 78.
    virtual int getStatus();
    virtual const char* getUserName();
    // The source's own name for the file.
    virtual const char* getFileName();
    virtual UserMeta* getUserMeta();
    virtual int getQueueRank();
    // Which crumbs the source has.
    virtual BoolArray* getAvailability();
    virtual bool matchesLink(const char* text);
    virtual bool isSameUser(UserMeta* user);
    virtual void pause() = 0;
    virtual void reserved();
    virtual void cancel() = 0;
    virtual void downloadFinished() = 0;
    virtual void diskFull() = 0;
    virtual void shutdown() = 0;
    // Found again: a source of the same user or text was offered.
    virtual void refound();
    virtual void connectionLost(Peer* connection);
    virtual bool gotFileStatus(Peer* connection, BoolArray* crumbs);
    virtual bool gotCrumbAvailable(Peer* connection, uint32_t crumb);
    virtual void newPeer(Peer* connection);
    virtual bool queued(Peer* connection);
    virtual void placeInQueue(Peer* connection, int rank);
    virtual bool noFile(Peer* connection);
    virtual bool tryConnect();
    virtual bool requestHashes();
    // Whether the connection answers a request for the hash sets that this source sent on it:
    // true once per request, which is then settled.
    virtual bool askedForHashes(Peer* connection);
    virtual void blockDone(Peer* connection);
    virtual bool openSlot(Peer* connection);
    virtual void gotFileName(const char* name, Peer* connection);
    virtual bool callbackFailed(uint32_t serverIp, uint32_t clientId);
    virtual bool connectFailed(uint32_t ip, uint16_t port);
    virtual void getRequests(uint32_t starts[3], uint32_t ends[3]);
    virtual void requestBlocks();
    virtual void releaseRequest(int i);
    virtual double partnerScore();
    virtual void askPartner();
    virtual void partnerEnded();
    virtual bool partnerAccepted(Peer* connection);
    virtual bool partnerDenied(Peer* connection);
    virtual bool gotPartnerRequest(Peer* connection);
    // False: the download deletes the source.
    virtual bool tick(int elapsedMs);
};
