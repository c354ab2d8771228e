#include "transfer/source/FSS_TransferingAskingPartner.h"

#include "transfer/download/Download.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_AskingPartner.h"
#include "transfer/source/FSS_NoNeededParts.h"
#include "transfer/source/FSS_TestPartner.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/PartnerManager.h"

FSS_TransferingAskingPartner::FSS_TransferingAskingPartner(FileSource* s, int idleMs)
    : FSS_Transfering(s, idleMs), registered(true), waited(0) {
    thePartnerManager.addPartner(s);
    if (Peer* c = s->getConnection()) c->sendPartnerRequest(s->getFileHash());
}

FSS_TransferingAskingPartner::~FSS_TransferingAskingPartner() {
    if (!registered) return;
    source->setCoolDown(1);
    thePartnerManager.removePartner(source);
}

bool FSS_TransferingAskingPartner::tick(int elapsedMs) {
    waited += elapsedMs;
    if (waited <= ANSWER_LIMIT_MS) return FSS_Transfering::tick(elapsedMs);
    source->setState(new FSS_Transfering(source, (int)idle));
    return true;
}

bool FSS_TransferingAskingPartner::partnerAccepted(Peer* connection) {
    if (!own(connection)) return false;
    registered = false;
    source->setState(new FSS_TestPartner(source));
    return true;
}

bool FSS_TransferingAskingPartner::gotPartnerRequest(Peer* connection) {
    if (!sameUser(connection)) return false;
    registered = false;
    source->setState(new FSS_TestPartner(source));
    return true;
}

bool FSS_TransferingAskingPartner::partnerDenied(Peer* connection) {
    if (!own(connection)) return false;
    source->setState(new FSS_Transfering(source, (int)idle));
    return true;
}

void FSS_TransferingAskingPartner::partnerEnded() {
    registered = false;
    source->setState(new FSS_Transfering(source, (int)idle));
}

bool FSS_TransferingAskingPartner::queued(Peer* connection) {
    if (!own(connection)) return false;
    registered = false;
    source->setState(new FSS_AskingPartner(source));
    return true;
}

void FSS_TransferingAskingPartner::noNeededParts() {
    FileSource* s = source;
    if (s->isStatusKnown()) {
        registered = false;
        handOverSlot(s, new FSS_NoNeededParts(s));
        return;
    }
    Peer* c = s->getConnection();
    if (c && c->requestFileStatus(s->getFileHash(), s->getDownload()->getFileSize())) return;
    s->assumeComplete();
    requestBlocks();
}

void FSS_TransferingAskingPartner::pause() {
    FileSource* s = source;
    FSS_Transfering::pause();
    s->setCoolDown(0);
}

void FSS_TransferingAskingPartner::connectionLost() {
    FileSource* s = source;
    FSS_Transfering::connectionLost();
    s->setCoolDown(0);
}

void FSS_TransferingAskingPartner::askPartner() {}

double FSS_TransferingAskingPartner::partnerScore() {
    return -1.0;
}
