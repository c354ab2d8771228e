#include "transfer/source/FSS_AskingPartner.h"

#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_BadSource.h"
#include "transfer/source/FSS_Gone.h"
#include "transfer/source/FSS_TestPartner.h"
#include "transfer/source/FSS_TransferingAskingPartner.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FSS_WaitForConnection.h"
#include "transfer/source/FileSource.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/source/SourceList.h"

FSS_AskingPartner::FSS_AskingPartner(FileSource* s)
    : PeerInterestedFSS(s, ASKING_PARTNER), registered(true), waited(0) {
    thePartnerManager.addPartner(s);
    if (Peer* c = s->getConnection()) c->sendPartnerRequest(s->getFileHash());
}

FSS_AskingPartner::~FSS_AskingPartner() {
    if (!registered) return;
    source->setCoolDown(1);
    thePartnerManager.removePartner(source);
}

void FSS_AskingPartner::newPeer(Peer* connection) {
    if (!connection) return;
    hold(connection);
    FileSource* s = source;
    if (s->prLevel() == 1) {
        if (!*s->getFileName()) connection->requestFileName(s->getFileHash());
        connection->sendPartnerRequest(s->getFileHash());
        waited = 0;
        return;
    }
    thePartnerManager.removePartner(s);
    s->setState(new FSS_WaitForConnection(s));
    s->newPeer(connection);
}

bool FSS_AskingPartner::tick(int elapsedMs) {
    waited += elapsedMs;
    if (source->getConnection() ? waited > ANSWER_LIMIT_MS : waited > CONNECT_LIMIT_MS) {
        if (source->getConnection())
            source->setState(new FSS_Unasked(source));
        else
            source->setState(new FSS_Gone(source));
    }
    return true;
}

bool FSS_AskingPartner::partnerAccepted(Peer* connection) {
    if (!own(connection)) return false;
    registered = false;
    source->setState(new FSS_TestPartner(source));
    return true;
}

bool FSS_AskingPartner::partnerDenied(Peer* connection) {
    if (!own(connection)) return false;
    newPeerDecision(connection);
    return true;
}

void FSS_AskingPartner::partnerEnded() {
    FileSource* s = source;
    registered = false;
    s->setState(new FSS_Unasked(s));
    s->setCoolDown(600000);
}

bool FSS_AskingPartner::openSlot() {
    registered = false;
    source->setState(new FSS_TransferingAskingPartner(source, 0));
    return true;
}

bool FSS_AskingPartner::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    UserMeta* user = source->getUserMeta();
    if (source->getConnection() || serverIp != user->serverIp || clientId != user->ip) return false;
    theSourceList.removeIpServer(serverIp, clientId);
    source->setState(new FSS_BadSource(source));
    return true;
}

void FSS_AskingPartner::pause() {
    FileSource* s = source;
    s->setState(new FSS_Unasked(s));
    s->setCoolDown(0);
}

void FSS_AskingPartner::connectionLost() {
    FileSource* s = source;
    s->setState(new FSS_Gone(s));
    s->setCoolDown(0);
}

void FSS_AskingPartner::noNeededParts() {}

void FSS_AskingPartner::askPartner() {}

double FSS_AskingPartner::partnerScore() {
    return -1.0;
}
