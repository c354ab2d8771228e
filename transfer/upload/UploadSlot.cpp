#include "transfer/upload/UploadSlot.h"

#include <cstring>

#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/UserMeta.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/upload/PartUpload.h"
#include "transfer/upload/Upload.h"
#include "transfer/upload/UploadPool.h"

UploadSlot::UploadSlot(UploadPool& p)
    : pool(p),
      retry(false),
      timer(0),
      prio(IDLE_PRIORITY),
      upload(nullptr),
      pending(nullptr),
      granted(nullptr) {}

UploadSlot::~UploadSlot() {
    letGrantGo();
    if (pending) {
        uint8_t hash[16] = {0};
        MetaTag* w = pending->findTag("w");
        if (w && w->getType() == MetaTag::HASH128) memcpy(hash, w->getValue(), 16);
        pool.getQueue().addFront(pending, hash);
        delete pending;
        pending = nullptr;
    }
    if (upload) {
        Upload* u = upload;
        upload = nullptr;
        UserMeta peer;
        if (u->getPeer(&peer)) {
            pool.getQueue().addFront(&peer, u->getFileHash());
            Peer* c = u->getConnection();
            c->sendOutOfParts();
            c->sendQueueRank(1);
        }
        u->setPaused(true);
        u->letConnectionGo();
        u->release();
    }
}

void UploadSlot::changed() {
    theTransferUI->uploadSlotChanged(this);
}

void UploadSlot::tick(int ms) {
    if (pending) {
        timer += ms;
        if (timer <= PENDING_MS) return;
        if (retry) {
            timer = 0;
            connect();
        } else {
            theUI->debug("Slot time out: %s\n", pending->getName());
            releasePending();
        }
        return;
    }
    if (upload) upload->tick(ms);
    // The tick may have ended the upload (a held range sent at last, the ranges used up).
    prio = upload ? upload->priority() : IDLE_PRIORITY;
    UserMeta* next = pool.getQueue().next(prio);
    if (!next) return;
    if (pool.findSlotOf(next)) {
        delete next;
        return;
    }
    {
        i4_lock hold(&lock);
        pending = next;
    }
    changed();
    connect();
}

void UploadSlot::grant(Peer* connection) {
    if (granted != connection) {
        letGrantGo();
        connection->addRef("slot granted");
        granted = connection;
    }
    connection->sendSlotGranted();
}

void UploadSlot::letGrantGo() {
    if (!granted) return;
    Peer* c = granted;
    granted = nullptr;
    c->release("slot granted");
}

void UploadSlot::connect() {
    timer = 0;
    retry = false;
    if (!pending) return;
    Peer* connection = nullptr;
    int r = theClientPool.connect(pending, &connection, false);
    if (r == ClientPool::CONNECTED && connection) {
        pool.cancelRankNotice(connection);
        grant(connection);
    } else if (r == ClientPool::NO_ROOM) {
        timer = NO_ROOM_MS;
        retry = true;
    } else if (r != ClientPool::UNDER_WAY) {
        releasePending();
    }
}

bool UploadSlot::newPeer(Peer* connection) {
    if (!pending || memcmp(pending->hash, connection->getUser()->hash, 16) != 0) return false;
    grant(connection);
    timer = LATE_CONNECTION_MS;
    return true;
}

bool UploadSlot::peerClosed(Peer* connection) {
    if (granted == connection) granted = nullptr;  // going away: nothing left to give back
    if (upload && upload->isConnection(connection)) {
        upload->connectionGone(connection);
        thePartnerManager.removeByConnection(connection);
        endUpload(upload);
        return true;
    }
    if (pending && pending->isSameUser(connection->getUser())) {
        thePartnerManager.removeByConnection(connection);
        releasePending();
        return true;
    }
    return false;
}

bool UploadSlot::connectFailed(uint32_t ip, uint16_t port) {
    if (!pending || pending->ip != ip || pending->port != port) return false;
    releasePending();
    return true;
}

bool UploadSlot::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    if (!pending || pending->ip != clientId || pending->serverIp != serverIp) return false;
    releasePending();
    return true;
}

bool UploadSlot::handleRequest(const uint8_t hash[16], const uint32_t starts[3],
                               const uint32_t ends[3], Peer* connection) {
    bool fromPending = pending && pending->isSameUser(connection->getUser());
    if (!fromPending && !(upload && upload->isConnection(connection))) return false;
    if (fromPending) {
        // On a connection the slot opened itself the grant holds the only reference: the
        // upload takes its own, and a refusal is queued, before the grant lets go.
        Upload* made = makeUpload(hash, connection);
        if (!made) connection->sendNoSuchFile(hash);
        releasePending();
        if (made) startUpload(made, starts, ends, true);
    } else if (memcmp(upload->getFileHash(), hash, 16) == 0) {
        upload->setRanges(starts, ends);
    } else if (!startUpload(makeUpload(hash, connection), starts, ends, false)) {
        connection->sendNoSuchFile(hash);
    }
    return true;
}

Upload* UploadSlot::makeUpload(const uint8_t hash[16], Peer* connection) {
    FileMeta* shared = theTransferGateway.sharedList.findByHash(hash);
    if (!shared) return nullptr;
    Upload* made = nullptr;
    const char* path = shared->getPath();
    if (path && *path) {
        i4_file* f = i4_open(path, I4_READ);
        if (!f) {
            theUI->debug("File not found for upload: %s\n", path);
            return nullptr;
        }
        if (!theTransferGateway.servesUnchanged(hash)) {
            delete f;
            return nullptr;
        }
        made = new Upload(f, connection, shared->getName(), this);
    } else {
        Download* d = theDLPool.findByHash(hash);
        if (!d) return nullptr;
        if (d->getPartialFile()) made = new PartUpload(d, connection, this);
        d->release();
    }
    if (made) made->setFileHash(hash);
    return made;
}

bool UploadSlot::startUpload(Upload* u, const uint32_t starts[3], const uint32_t ends[3],
                             bool fromPending) {
    if (!u) return false;
    u->addRef();
    if (upload) {
        Upload* old = upload;
        Peer* oldConnection = old->getConnection();
        uint8_t oldHash[16];
        memcpy(oldHash, old->getFileHash(), 16);
        if (fromPending && oldConnection) oldConnection->sendOutOfParts();
        endUpload(old);
        if (oldConnection) pool.getQueue().addAndNotify(oldConnection, oldHash);
    }
    {
        i4_lock hold(&lock);
        upload = u;
    }
    pool.sortSlots();
    pool.recallRanges(u);
    u->setRanges(starts, ends);
    if (u->sendNext() && upload == u) u->sendNext();
    changed();
    if (upload == u) pool.getTuner().uploadStarted();
    return true;
}

void UploadSlot::endUpload(Upload* u) {
    if (!u || u != upload) return;
    pool.rememberRanges(u);
    {
        i4_lock hold(&lock);
        u->setPaused(true);
        upload = nullptr;
    }
    u->letConnectionGo();
    u->release();
    pool.getTuner().uploadEnded();
    changed();
    pool.sortSlots();
}

void UploadSlot::endFailedUpload(Upload* u) {
    if (!u || u != upload) return;
    if (Peer* c = u->getConnection()) {
        // A file no longer shared under the hash is gone for the peer; after any other
        // failure it may ask again.
        if (theTransferGateway.sharedList.findByHash(u->getFileHash()))
            c->sendOutOfParts();
        else
            c->sendNoSuchFile(u->getFileHash());
    }
    endUpload(u);
}

void UploadSlot::pause() {
    if (upload) upload->setPaused(true);
}

void UploadSlot::resume() {
    if (upload) upload->setPaused(false);
}

void UploadSlot::releasePending() {
    letGrantGo();
    {
        i4_lock hold(&lock);
        delete pending;
        pending = nullptr;
    }
    changed();
}

void UploadSlot::dropQuietly() {
    letGrantGo();
    delete pending;
    pending = nullptr;
    if (Upload* u = upload) {
        upload = nullptr;
        u->setPaused(true);
        u->letConnectionGo();
        u->release();
    }
}

void UploadSlot::forgetConnection(Peer* connection) {
    if (granted == connection) granted = nullptr;
}

bool UploadSlot::holdsUser(UserMeta* user) {
    return (pending && pending->isSameUser(user)) || (upload && upload->isPeer(user));
}

const char* UploadSlot::peerName() {
    if (upload) {
        if (const char* n = upload->peerName()) return n;
    }
    if (pending) return pending->getName();
    return nullptr;
}

double UploadSlot::rate() {
    i4_lock hold(&lock);
    return upload ? upload->averageRate() : 0.0;
}

bool UploadSlot::getPeer(UserMeta* out) {
    i4_lock hold(&lock);
    if (upload && upload->getPeer(out)) return true;
    if (pending) {
        out->copy(pending);
        return true;
    }
    return false;
}

const char* UploadSlot::fileName(i4_string& out) {
    i4_lock hold(&lock);
    out = upload ? upload->name() : "";
    return out.c_str();
}

const uint8_t* UploadSlot::fileHash() {
    i4_lock hold(&lock);
    return upload ? upload->getFileHash() : nullptr;
}
