#include "transfer/peer/ClientPool.h"

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/NetworkGateway.h"
#include "core/UIGateway.h"
#include "i4min/threads/linux/i4_lock.h"
#include "net/Connector.h"
#include "net/TCPPacket.h"
#include "transfer/peer/Peer.h"
#include "transfer/peer/PeerEventHandler.h"
#include "transfer/share/TransferOptions.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

ClientPool theClientPool;

namespace {
// The four listeners of the transfer side, with room to spare.
const int kMaxListeners = 16;
}  // namespace

ClientPool::ClientPool() : serviceRecord(&TransferServices::beforeStart()) {}

ClientPool::~ClientPool() {}

int ClientPool::copyListeners(PeerEventHandler** out, int max) {
    int n = 0;
    i4_lock hold(&listeners);
    for (void* item : LLView<void>(listeners)) {
        if (n < max) out[n++] = static_cast<PeerEventHandler*>(item);
    }
    return n;
}

void ClientPool::addListener(PeerEventHandler* listener) {
    if (listener && listeners.count() < kMaxListeners) listeners.append(listener);
}

void ClientPool::removeListener(PeerEventHandler* listener) {
    listeners.remove(listener);
}

bool ClientPool::isSelf(UserMeta* user) {
    if (!user) return false;
    uint32_t id = theCoreOptions.getClientId();
    if (UserMeta::isLowId(id))
        return user->ip == id && user->serverIp == theCoreOptions.getServerIp();
    return user->ip == id && user->port == (uint16_t)theTransferOptions.getDoorPort();
}

Peer* ClientPool::find(UserMeta* user) {
    if (!user) return nullptr;
    Peer* found = nullptr;
    i4_lock hold(&peers);
    for (Peer* p : LLView<Peer>(peers)) {
        if (user->isSameUser(p->getUser())) {
            found = p;
            break;
        }
    }
    return found;
}

Peer* ClientPool::findByHash(const uint8_t userHash[16]) {
    Peer* found = nullptr;
    i4_lock hold(&peers);
    for (Peer* p : LLView<Peer>(peers)) {
        if (UniqueID::equals(p->getUser()->hash, userHash)) {
            found = p;
            break;
        }
    }
    return found;
}

Peer* ClientPool::findBySerial(uint32_t serial) {
    Peer* found = nullptr;
    i4_lock hold(&peers);
    for (Peer* p : LLView<Peer>(peers)) {
        if (p->getSerial() == serial) {
            found = p;
            break;
        }
    }
    return found;
}

bool ClientPool::contains(Peer* peer) {
    if (!peer) return false;
    i4_lock hold(&peers);
    return peers.LL::contains(peer);
}

bool ClientPool::makeRoom() {
    int maxCon = theCoreOptions.maxCon;
    int n = theCore.connectionCount();
    if (n < maxCon) return true;
    int excess = n - maxCon;
    i4_lock hold(&peers);
    LLNode* cursor = nullptr;
    while (excess > 0) {
        Peer* p = static_cast<Peer*>(LL::next(&peers, &cursor));
        if (!p) break;
        // A peer already closing still counts until the pool removes it: it cannot make room
        // a second time.
        if (!p->isDead() || p->isClosing()) continue;
        theUI->debug("Too many peers dropping: %s\n", p->getName());
        p->closeWhenSent();
        excess--;
    }
    return excess <= 0;
}

int ClientPool::connect(UserMeta* user, Peer** out, bool stayOpen) {
    if (!user || isSelf(user)) return REFUSED;
    if (Peer* existing = find(user)) {
        if (out) *out = existing;
        return CONNECTED;
    }
    if (!makeRoom()) {
        theUI->debug("Can't make new connection.\n");
        return NO_ROOM;
    }
    if (user->ip <= LAST_LOW_ID) {
        // Two clients behind firewalls cannot reach each other.
        if (theCoreOptions.getClientId() <= LAST_LOW_ID) return BOTH_LOW;
        return theNetworkGateway && theNetworkGateway->requestCallback(user) ? UNDER_WAY : REFUSED;
    }
    Connector* connector = theCore.connector;
    if (!start && !connector) {
        theUI->debug("Can't make new connection.\n");
        return NO_ROOM;
    }
    Peer* peer = new Peer(user->ip, user->port, stayOpen);
    // A connect to the same address already under way: that one answers for both.
    if ((start ? start(peer) : connector->connect(peer)) == 0) delete peer;
    return UNDER_WAY;
}

void ClientPool::connectRequested(Peer* asking, uint32_t ip, uint16_t port) {
    if (!asking || UserMeta::isLowId(ip)) return;
    Connector* connector = theCore.connector;
    if (!connector) return;
    // A peer's word must not turn into threads: one connect at a time per asking peer, and
    // only a few for all of them together.
    if (asking->requestedIp() != 0 &&
        connector->isPending(asking->requestedIp(), asking->requestedPort()))
        return;
    if (connector->pendingCount() >= MAX_REQUESTED_PENDING) return;
    UserMeta target;
    target.ip = ip;
    target.port = port;
    Peer* out = nullptr;
    if (connect(&target, &out, true) == UNDER_WAY) asking->setRequested(ip, port);
}

void ClientPool::addPeer(Peer* peer) {
    if (!peer) return;
    bool listed;
    {
        i4_lock hold(&peers);
        listed = peers.LL::contains(peer);
        if (!listed) peers.appendNoLock(peer);
    }
    if (listed) {
        theUI->debug("Peer already on list\n");
        return;
    }
    PeerEventHandler* told[kMaxListeners];
    int n = copyListeners(told, kMaxListeners);
    peer->addRef("ClientPool::addPeer");
    for (int i = 0; i < n; i++) told[i]->newPeer(peer);
    // A peer that no listener kept and that may close does so once its answer is out.
    peer->release("ClientPool::addPeer");
}

void ClientPool::removePeer(Peer* peer) {
    if (!peer || !peers.remove(peer)) return;
    PeerEventHandler* told[kMaxListeners];
    int n = copyListeners(told, kMaxListeners);
    for (int i = 0; i < n; i++) told[i]->peerClosed(peer);
}

void ClientPool::broadcast(TCPPacket* packet) {
    if (!packet) return;
    {
        i4_lock hold(&peers);
        for (Peer* p : LLView<Peer>(peers)) p->send(static_cast<TCPPacket*>(packet->clone()));
    }
    delete packet;
}

void ClientPool::notify(uint32_t ip, uint16_t port) {
    PeerEventHandler* told[kMaxListeners];
    int n = copyListeners(told, kMaxListeners);
    for (int i = 0; i < n; i++) told[i]->connectFailed(ip, port);
}
