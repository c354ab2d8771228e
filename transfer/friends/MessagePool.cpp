#include "transfer/friends/MessagePool.h"

#include <algorithm>
#include <cstring>

#include "core/TransferUI.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/UserMeta.h"
#include "transfer/friends/FriendList.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferOptions.h"

MessagePool theMessagePool;

MessagePool::MessagePool() : peerAnswer(*this) {}

MessagePool::~MessagePool() {}

std::vector<MessageSession*> MessagePool::sessions() {
    i4_lock hold(&lock);
    std::vector<MessageSession*> out;
    out.reserve(list.size());
    for (auto& s : list) out.push_back(s.get());
    return out;
}

void MessagePool::dropGone() {
    i4_lock hold(&lock);
    auto gone = std::stable_partition(list.begin(), list.end(),
                                      [](const std::unique_ptr<MessageSession>& s) {
                                          return s->getState() != MessageSession::FAILED &&
                                                 s->getState() != MessageSession::CLOSED;
                                      });
    for (auto it = gone; it != list.end(); ++it) {
        UserMeta* u = (*it)->getUser();
        former.erase(std::remove_if(former.begin(), former.end(),
                                    [u](Former& f) {
                                        return MessageSession::sameParty(f.hash, f.ip, f.port, u);
                                    }),
                     former.end());
        Former f;
        memcpy(f.hash, u->hash, sizeof f.hash);
        f.ip = u->ip;
        f.port = u->port;
        former.push_back(f);
        if (former.size() > MAX_FORMER) former.pop_front();
    }
    list.erase(gone, list.end());
}

bool MessagePool::hadSession(UserMeta* user) {
    i4_lock hold(&lock);
    for (Former& f : former)
        if (MessageSession::sameParty(f.hash, f.ip, f.port, user)) return true;
    return false;
}

MessageSession* MessagePool::findSession(UserMeta* user) {
    i4_lock hold(&lock);
    for (auto& s : list)
        if (s->matches(user)) return s.get();
    return nullptr;
}

MessageSession* MessagePool::getSession(UserMeta* user) {
    MessageSession* s = findSession(user);
    if (!s) {
        i4_lock hold(&lock);
        list.push_back(std::make_unique<MessageSession>(user));
        s = list.back().get();
    }
    s->startSession();
    return s;
}

void MessagePool::openSession(UserMeta* user) {
    if (!user) return;
    theTransferUI->chatSessionChanged(getSession(user));
    dropGone();
}

bool MessagePool::gotMessage(UserMeta* from, const char* text) {
    if (!from) return false;
    int allow = theTransferOptions.pmAllow;
    if (!findSession(from) && !hadSession(from) &&
        (allow == 2 || (allow == 1 && !theFriendList.isFriendHash(from->hash))))
        return false;
    i4_string cut(text ? text : "");
    if (cut.length() > Peer::MAX_CHAT) cut.truncate(Peer::MAX_CHAT);
    theTransferUI->chatMessage(getSession(from), cut.c_str());
    dropGone();
    return true;
}

void MessagePool::notAcceptingCalls(UserMeta* from) {
    for (MessageSession* s : sessions()) {
        if (!s->refusedBy(from)) continue;
        s->setState(MessageSession::FAILED);
        theTransferUI->chatMessage(s, "Is not accepting calls.");
        theTransferUI->chatSessionChanged(s);
    }
    dropGone();
}

void MessagePool::newPeer(Peer* peer) {
    for (MessageSession* s : sessions())
        if (s->gotCall(peer)) theTransferUI->chatSessionChanged(s);
}

void MessagePool::peerClosed(Peer* peer) {
    for (MessageSession* s : sessions())
        if (s->connectionClosed(peer)) theTransferUI->chatSessionChanged(s);
    dropGone();
}

void MessagePool::connectFailed(uint32_t ip, uint16_t port) {
    for (MessageSession* s : sessions()) {
        UserMeta* u = s->getUser();
        if (s->getState() != MessageSession::WAITING || u->ip != ip || u->port != port) continue;
        s->setState(MessageSession::FAILED);
        theTransferUI->chatSessionChanged(s);
    }
    dropGone();
}

void MessagePool::callbackFailed(uint32_t serverIp, uint32_t id) {
    for (MessageSession* s : sessions()) {
        UserMeta* u = s->getUser();
        if (s->getState() != MessageSession::WAITING || u->ip != id || u->serverIp != serverIp)
            continue;
        s->setState(MessageSession::FAILED);
        theTransferUI->chatSessionChanged(s);
    }
    dropGone();
}

int MessagePool::count() {
    i4_lock hold(&lock);
    return (int)list.size();
}

void MessagePool::clear() {
    i4_lock hold(&lock);
    list.clear();
    former.clear();
}
