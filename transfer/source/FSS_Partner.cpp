#include "transfer/source/FSS_Partner.h"

#include "transfer/download/Download.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_Transfering.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/PartnerManager.h"

FSS_Partner::FSS_Partner(FileSource* s, int id) : FSS_Transfering(s, 0, id), registered(true) {
    s->setCoolDown(0);
}

FSS_Partner::~FSS_Partner() {
    FileSource* s = source;
    s->setRememberedSpeed(getSpeed());
    s->getDownload()->getProgress().changeWeight(&s->getCrumbs(), -(WEIGHT - 1));
    if (!registered) return;
    s->setCoolDown(1);
    thePartnerManager.removePartner(s);
}

int FSS_Partner::getWeight() {
    return WEIGHT;
}

void FSS_Partner::onEnter() {
    FileSource* s = source;
    thePartnerManager.addPartner(s);
    s->getDownload()->getProgress().changeWeight(&s->getCrumbs(), WEIGHT - 1);
    requestBlocks();
}

bool FSS_Partner::tick(int) {
    return true;
}

bool FSS_Partner::noFile(Peer*) {
    return false;
}

void FSS_Partner::partnerEnded() {
    FileSource* s = source;
    registered = false;
    s->setState(new FSS_Transfering(s));
    s->setCoolDown(ENDED_COOL_DOWN_MS);
}

bool FSS_Partner::gotPartnerRequest(Peer* connection) {
    return own(connection);
}

void FSS_Partner::noNeededParts() {
    FileSource* s = source;
    if (s->isStatusKnown()) return;
    Peer* c = s->getConnection();
    if (c && c->requestFileStatus(s->getFileHash(), s->getDownload()->getFileSize())) return;
    s->assumeComplete();
    requestBlocks();
}

void FSS_Partner::pause() {
    FileSource* s = source;
    FSS_Transfering::pause();
    s->setCoolDown(0);
}

void FSS_Partner::connectionLost() {
    FileSource* s = source;
    FSS_Transfering::connectionLost();
    s->setCoolDown(0);
}

void FSS_Partner::askPartner() {}

double FSS_Partner::partnerScore() {
    return -1.0;
}
