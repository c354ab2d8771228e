// The core task thread; the console listings and other readers walk getConnections() under
// the list's own lock. Each list (peers, listeners) has its own lock; none is held while a
// listener runs.
#pragma once

#include <cstdint>
#include <functional>

#include "transfer/share/TransferServices.h"
#include "util/LLsafe.h"

class Peer;
class PeerEventHandler;
class TCPPacket;
class UserMeta;

// The registry of open peer connections, and the one place that decides whether and how the
// client may open a connection to a user. Its listeners hear of every peer that finished its
// hello, every peer that closes and every outgoing connect that failed, in the order they
// were added.
class ClientPool {
public:
    // What connect answers.
    enum ConnectResult {
        CONNECTED = 0,  // already connected; the connection is in *out
        UNDER_WAY = 1,  // a connect or a callback request is under way
        BOTH_LOW = 2,   // the user and this client both have low ids
        REFUSED = 3,    // the user is this client, or the callback request was refused
        NO_ROOM = 4
    };
    // Ids up to this one are reached through a callback; 0xFFFFFF itself is connected to.
    static constexpr uint32_t LAST_LOW_ID = 0xFFFFFE;
    // At most this many connects under way before a peer's connect request (90) is ignored.
    static constexpr int MAX_REQUESTED_PENDING = 4;
    // Hands a new outgoing peer to be connected: 0 when an attempt to the same address is
    // already under way (the peer is then the caller's to delete).
    typedef std::function<int(Peer*)> Starter;

    ClientPool();
    ~ClientPool();

    // Writes *out only for CONNECTED. A connect under way is learnt of later through the
    // listeners (newPeer or connectFailed) or the server side's callback-failed notice.
    int connect(UserMeta* user, Peer** out, bool stayOpen);
    // A peer's opcode 90: a connect to ip:port, made only with room, with few connects under
    // way and none still under way that the same peer asked for.
    void connectRequested(Peer* asking, uint32_t ip, uint16_t port);

    Peer* find(UserMeta* user);
    Peer* findConnection(UserMeta* user) { return find(user); }
    Peer* findByHash(const uint8_t userHash[16]);
    // The listed peer with this serial (Peer::getSerial), or null once it is gone.
    Peer* findBySerial(uint32_t serial);
    bool contains(Peer* peer);
    // The list itself: walk it under its lock.
    LLsafe* getConnections() { return &peers; }
    int count() { return peers.count(); }

    void addListener(PeerEventHandler* listener);
    void removeListener(PeerEventHandler* listener);
    bool isSelf(UserMeta* user);
    // True while connections fit "maxCon"; beyond it closes idle accepted peers (those
    // without references) until they would, and answers whether they do.
    bool makeRoom();

    // The end of a good hello or hello answer: lists the peer and tells the listeners.
    void addPeer(Peer* peer);
    // From the peer's destructor: unlists it and tells the listeners, if it was listed.
    void removePeer(Peer* peer);
    // A copy of the packet to every listed peer; the packet is deleted.
    void broadcast(TCPPacket* packet);
    // An outgoing connect to ip:port failed (queue message 35).
    void notify(uint32_t ip, uint16_t port);
    void shutdown() {}
    // The core's connector by default; tests see the peers that would be connected.
    void setStarter(Starter starter) { start = starter; }
    // What the peers ask of and hand the other pools: the stand-ins until the transfer side's
    // start hands over its record.
    TransferServices& services() { return *serviceRecord; }
    void useServices(TransferServices* record) { serviceRecord = record; }

private:
    ClientPool(const ClientPool&) = delete;
    ClientPool& operator=(const ClientPool&) = delete;

    // A snapshot, so that no lock is held while the listeners run.
    int copyListeners(PeerEventHandler** out, int max);

    Starter start;
    TransferServices* serviceRecord;
    LLsafe listeners;
    LLsafe peers;
};

extern ClientPool theClientPool;
