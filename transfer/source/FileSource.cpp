#include "transfer/source/FileSource.h"

#include "transfer/download/DLProgress.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/FSS_Unasked.h"
#include "transfer/source/FileSourceState.h"
#include "transfer/source/PartnerManager.h"

FileSource::FileSource(UserMeta* u, Download* d, Peer* given)
    : state(nullptr),
      statusAge(0),
      rememberedSpeed(0),
      coolDown(0),
      retries(0),
      queueRank(0),
      connection(given),
      hashesAskedOn(nullptr),
      download(d),
      statusKnown(false) {
    user.copy(u);
    for (int i = 0; i < 3; i++) starts[i] = ends[i] = 0;
    crumbs.resize((uint32_t)(d ? d->crumbCount() : 0));
    crumbs.fill(0);
    state = new FSS_Unasked(this);
    if (!connection) connection = theClientPool.findConnection(&user);
    if (connection) adopt(connection);
    if (crumbs.size() == 1) {
        // Only the connection given takes effect: one found in the pool says nothing yet
        // about what the peer has.
        BoolArray one(1);
        one.set(0, 1);
        gotFileStatus(given, &one);
    }
}

FileSource::~FileSource() {
    thePartnerManager.removePartner(this);
    delete state;
    state = nullptr;
    if (download) download->getProgress().changeWeight(&crumbs, -1);
    releaseRequests();
}

void FileSource::adopt(Peer* c) {
    user.copy(c->getUser());
    if (fileName.is_empty()) c->requestFileName(getFileHash());
    PartialFile* file = download ? download->getPartialFile() : nullptr;
    // Only a "pr" peer can send crumb hashes.
    if (file && (!file->hasPartHashes() || (c->getPrLevel() == 1 && !file->hasCrumbHashes())))
        requestHashes();
}

const uint8_t* FileSource::getFileHash() {
    return download->getFileId();
}

bool FileSource::hasNeededCrumb() {
    PartialFile* file = download->getPartialFile();
    return file && file->peerHasNeededCrumb(&crumbs);
}

bool FileSource::hasUnaskedRange() {
    return download->getProgress().hasRangeFor(&crumbs);
}

int FileSource::prLevel() {
    return connection ? connection->getUser()->getTagInt("pr") : user.getTagInt("pr");
}

void FileSource::setState(FileSourceState* next) {
    delete state;
    state = next;
    if (state) state->onEnter();
}

void FileSource::assumeComplete() {
    statusAge = 0;
    statusKnown = true;
    BoolArray all(crumbs.size());
    all.fill(1);
    download->getProgress().changeCrumbs(&crumbs, &all, state->getWeight());
    crumbs.assign(&all);
}

void FileSource::releaseRequests() {
    for (int i = 0; i < 3; i++) {
        if (download) download->getProgress().refreshGaps(starts[i], ends[i]);
        starts[i] = ends[i] = 0;
    }
}

void FileSource::sendRequests() {
    if (connection) connection->requestRanges(getFileHash(), starts, ends);
}

double FileSource::getSpeed() {
    return state->getSpeed();
}

int FileSource::getStatus() {
    return state->getStatus();
}

const char* FileSource::getUserName() {
    return user.getName();
}

const char* FileSource::getFileName() {
    return fileName.c_str() ? fileName.c_str() : "";
}

void FileSource::pause() {
    state->pause();
}

void FileSource::cancel() {
    state->cancel();
}

void FileSource::downloadFinished() {
    state->downloadFinished();
}

void FileSource::diskFull() {
    state->diskFull();
}

void FileSource::shutdown() {
    state->shutdown();
}

void FileSource::refound() {
    state->refound();
}

bool FileSource::tryConnect() {
    return state->tryConnect();
}

void FileSource::requestBlocks() {
    state->requestBlocks();
}

double FileSource::partnerScore() {
    return state->partnerScore();
}

void FileSource::askPartner() {
    state->askPartner();
}

void FileSource::partnerEnded() {
    state->partnerEnded();
}

bool FileSource::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    return state->callbackFailed(serverIp, clientId);
}

bool FileSource::connectFailed(uint32_t ip, uint16_t port) {
    return state->connectFailed(ip, port);
}

void FileSource::placeInQueue(Peer* c, int rank) {
    state->placeInQueue(c, rank);
}

bool FileSource::queued(Peer* c) {
    return state->queued(c);
}

bool FileSource::noFile(Peer* c) {
    return state->noFile(c);
}

void FileSource::blockDone(Peer* c) {
    state->blockDone(c);
}

bool FileSource::partnerAccepted(Peer* c) {
    return state->partnerAccepted(c);
}

bool FileSource::partnerDenied(Peer* c) {
    return state->partnerDenied(c);
}

bool FileSource::gotPartnerRequest(Peer* c) {
    return state->gotPartnerRequest(c);
}

bool FileSource::openSlot(Peer* c) {
    return c && c == connection && state->openSlot();
}

void FileSource::connectionLost(Peer* c) {
    if (!c || c != connection) return;
    state->connectionLost();
    connection = nullptr;
    hashesAskedOn = nullptr;
}

void FileSource::newPeer(Peer* c) {
    if (!c) return;
    if (connection) {
        if (c == connection) state->newPeer(c);
        return;
    }
    if (!user.isSameUser(c->getUser())) return;
    connection = c;
    retries = 0;
    statusKnown = false;
    statusAge = 0;
    adopt(c);
    state->newPeer(c);
}

bool FileSource::gotFileStatus(Peer* c, BoolArray* bits) {
    if (c != connection || !bits) return false;
    statusAge = 0;
    statusKnown = true;
    // Bits of another count than the download's crumbs would mislead every weight.
    BoolArray fitted(crumbs.size());
    fitted.fill(0);
    for (uint32_t i = 0; i < fitted.size() && i < bits->size(); i++) fitted.set(i, bits->get(i));
    download->getProgress().changeCrumbs(&crumbs, &fitted, state->getWeight());
    crumbs.assign(&fitted);
    state->gotFileStatus();
    download->updateLastSeenComplete();
    return true;
}

bool FileSource::gotCrumbAvailable(Peer* c, uint32_t crumb) {
    if (!c || c != connection) return false;
    if (crumb >= crumbs.size()) return true;
    int weight = state->getWeight();
    DLProgress& progress = download->getProgress();
    progress.changeWeight(&crumbs, -weight);
    crumbs.set(crumb, 1);
    progress.changeWeight(&crumbs, weight);
    state->gotFileStatus();
    return true;
}

void FileSource::gotFileName(const char* name, Peer* c) {
    if (name && c && user.isSameUser(c->getUser())) fileName = name;
}

bool FileSource::requestHashes() {
    if (!connection) return false;
    connection->requestHashes(getFileHash());
    hashesAskedOn = connection;
    return true;
}

bool FileSource::askedForHashes(Peer* c) {
    if (!c || c != hashesAskedOn) return false;
    hashesAskedOn = nullptr;
    return true;
}

void FileSource::getRequests(uint32_t s[3], uint32_t e[3]) {
    for (int i = 0; i < 3; i++) {
        s[i] = starts[i];
        e[i] = ends[i];
    }
}

void FileSource::releaseRequest(int i) {
    if (i < 0 || i > 2) return;
    download->getProgress().refreshGaps(starts[i], ends[i]);
    starts[i] = ends[i] = 0;
    // Later ranges move down into the free slot, in two steps.
    if (!ends[1] && ends[2]) {
        starts[1] = starts[2];
        ends[1] = ends[2];
        starts[2] = ends[2] = 0;
    }
    if (!ends[0] && ends[1]) {
        starts[0] = starts[1];
        ends[0] = ends[1];
        starts[1] = ends[1] = 0;
    }
}

bool FileSource::tick(int elapsedMs) {
    if (coolDown > 0) {
        coolDown += elapsedMs;
        if (coolDown > COOL_DOWN_LIMIT_MS) coolDown = 0;
    }
    statusAge += elapsedMs;
    if (statusAge > STATUS_STALE_MS) {
        statusAge = 0;
        statusKnown = false;
    }
    return state->tick(elapsedMs);
}
