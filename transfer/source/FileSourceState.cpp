#include "transfer/source/FileSourceState.h"

#include <memory>

#include "core/MessageQ.h"
#include "transfer/download/Download.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/source/FSS_AskingPartner.h"
#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_OnQueue.h"
#include "transfer/source/FSS_TestPartner.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FSS_WaitForChunksBQ.h"
#include "transfer/source/FSS_WaitForConnection.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/SourceList.h"

FileSourceState::FileSourceState(FileSource* s, int id) : source(s), status(id) {}

FileSourceState::~FileSourceState() {}

bool FileSourceState::own(Peer* connection) const {
    return connection && connection == source->getConnection();
}

bool FileSourceState::sameUser(Peer* connection) const {
    return connection && source->getUserMeta()->isSameUser(connection->getUser());
}

int FileSourceState::getWeight() {
    return 1;
}

double FileSourceState::getSpeed() {
    return 0.0;
}

void FileSourceState::onEnter() {
    source->releaseRequests();
}

void FileSourceState::noNeededParts() {
    source->setState(new FSS_NoNeededParts(source));
}

void FileSourceState::pause() {}

void FileSourceState::cancel() {
    theSourceList.remove(source->getUserMeta());
    source->setState(new FSS_BadSource(source));
}

void FileSourceState::diskFull() {
    pause();
}

void FileSourceState::downloadFinished() {
    cancel();
}

void FileSourceState::shutdown() {}

void FileSourceState::refound() {
    source->setRetries(0);
}

bool FileSourceState::tryConnect() {
    return false;
}

void FileSourceState::requestBlocks() {}

void FileSourceState::refPeer(Peer*) {}

void FileSourceState::newPeer(Peer* connection) {
    newPeerDecision(connection);
}

bool FileSourceState::openSlot() {
    source->setState(new FSS_Transfering(source));
    return true;
}

void FileSourceState::gotFileStatus() {}

bool FileSourceState::queued(Peer*) {
    return false;
}

void FileSourceState::connectionLost() {
    source->setState(new FSS_Gone(source));
}

void FileSourceState::blockDone(Peer*) {}

bool FileSourceState::noFile(Peer*) {
    return false;
}

void FileSourceState::placeInQueue(Peer* connection, int rank) {
    if ((!source->getConnection() && sameUser(connection)) || own(connection))
        source->setQueueRank(rank);
}

bool FileSourceState::callbackFailed(uint32_t, uint32_t) {
    return false;
}

bool FileSourceState::connectFailed(uint32_t ip, uint16_t port) {
    UserMeta* user = source->getUserMeta();
    if (ip != user->ip || port != user->port) return false;
    theSourceList.removeIpPort(ip, port);
    source->setState(new FSS_Gone(source));
    return true;
}

bool FileSourceState::tick(int) {
    return true;
}

void FileSourceState::askPartner() {
    askPartnerProcedure();
}

double FileSourceState::partnerScore() {
    if (source->getCoolDown() > 0) return -1.0;
    if (source->getCrumbs().all(1)) {
        source->setCoolDown(1);
        return -1.0;
    }
    double remembered = source->getRememberedSpeed();
    return remembered > 0 ? remembered : (double)PARTNER_SCORE;
}

void FileSourceState::partnerEnded() {}

bool FileSourceState::partnerAccepted(Peer*) {
    return false;
}

bool FileSourceState::partnerDenied(Peer*) {
    return false;
}

bool FileSourceState::gotPartnerRequest(Peer* connection) {
    if (!sameUser(connection)) return false;
    source->setState(new FSS_TestPartner(source));
    return true;
}

void FileSourceState::newPeerDecision(Peer* connection) {
    if (!connection) return;
    FileSource* s = source;
    if (!s->isStatusKnown()) {
        if (connection->requestFileStatus(s->getFileHash(), s->getDownload()->getFileSize())) {
            s->setState(new FSS_WaitForChunksBQ(s));
            return;
        }
        s->assumeComplete();
    }
    if (s->hasNeededCrumb()) {
        theSourceList.askForUpload(connection, s->getFileHash());
        s->setState(new FSS_OnQueue(s));
    } else {
        noNeededParts();
    }
}

void FileSourceState::askPartnerProcedure() {
    FileSource* s = source;
    if (!s->getConnection()) {
        Peer* out = nullptr;
        int result = theClientPool.connect(s->getUserMeta(), &out, false);
        if (result == ClientPool::REFUSED || result == ClientPool::BOTH_LOW) {
            s->setState(new FSS_Gone(s));
            return;
        }
        if (result == ClientPool::UNDER_WAY) {
            s->setState(new FSS_AskingPartner(s));
            return;
        }
        if (!out) return;
        s->setConnection(out);
        refPeer(out);
    }
    if (s->prLevel() == 1) {
        s->setState(new FSS_AskingPartner(s));
    } else {
        s->setCoolDown(1);
        s->setState(new FSS_Unasked(s));
    }
}

Peer* FileSourceState::holdSlot(FileSource* s) {
    Peer* c = s->getConnection();
    if (c) c->addRef("FSS_SLOT_HANDED_OVER");
    return c;
}

void FileSourceState::offerSlot(Peer* held) {
    if (held) theMessageQ.post(MSG_FREED_CONNECTION, std::make_unique<OpenedSlot>(held));
}

void FileSourceState::handOverSlot(FileSource* s, FileSourceState* next) {
    Peer* held = holdSlot(s);
    s->setState(next);
    offerSlot(held);
}
