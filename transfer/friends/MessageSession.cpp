#include "transfer/friends/MessageSession.h"

#include "core/TransferUI.h"
#include "i4min/threads/linux/i4_lock.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "util/UniqueID.h"

namespace {

// Another client on the same machine or behind the same router shares the address: a
// reachable partner is its address and port, one without an address its id behind its server.
bool isPartner(UserMeta& user, UserMeta* other) {
    if (!UserMeta::isLowId(user.ip) && user.ip == other->ip && user.port == other->port)
        return true;
    if (UserMeta::isLowId(user.ip) && user.ip == other->ip && user.serverIp == other->serverIp)
        return true;
    return !UniqueID::isZero(user.hash) && UniqueID::equals(user.hash, other->hash);
}

}  // namespace

MessageSession::MessageSession(UserMeta* partner) : connection(nullptr), state(WAITING) {
    user.copy(partner);
}

MessageSession::~MessageSession() {
    hold(nullptr);
}

Peer* MessageSession::getConnection() {
    i4_lock guard(&lock);
    return connection;
}

void MessageSession::hold(Peer* peer) {
    i4_lock guard(&lock);
    if (connection == peer) return;
    if (peer) peer->addRef("MessageSession");
    if (connection) connection->release("MessageSession");
    connection = peer;
}

void MessageSession::startSession() {
    Peer* peer = nullptr;
    switch (theClientPool.connect(&user, &peer, false)) {
    case ClientPool::CONNECTED:
        hold(peer);
        state = CONNECTED;
        break;
    case ClientPool::UNDER_WAY:
        state = WAITING;
        break;
    default:
        state = FAILED;
        break;
    }
}

bool MessageSession::gotCall(Peer* peer) {
    if (state != WAITING || !peer) return false;
    if (!isPartner(user, peer->getUser())) return false;
    state = CONNECTED;
    hold(peer);
    user.Meta::copyFrom(peer->getUser());
    return true;
}

bool MessageSession::connectionClosed(Peer* peer) {
    {
        i4_lock guard(&lock);
        if (!peer || connection != peer) return false;
        connection = nullptr;
    }
    state = CLOSED;
    return true;
}

bool MessageSession::send(const char* text) {
    i4_lock guard(&lock);
    if (state != CONNECTED || !connection) return false;
    connection->sendChat(text);
    return true;
}

bool MessageSession::matches(UserMeta* other) {
    return sameParty(user.hash, user.ip, user.port, other);
}

bool MessageSession::sameParty(const uint8_t hash[16], uint32_t ip, uint16_t port,
                               UserMeta* other) {
    if (!other) return false;
    if (UniqueID::isZero(other->hash)) return ip == other->ip && port == other->port;
    return UniqueID::equals(hash, other->hash);
}

bool MessageSession::refusedBy(UserMeta* other) {
    return other && isPartner(user, other);
}
