#include "transfer/source/FileSourceInterface.h"

FileSourceInterface::~FileSourceInterface() {}

int FileSourceInterface::getStatus() {
    return 0;
}

const char* FileSourceInterface::getUserName() {
    return nullptr;
}

const char* FileSourceInterface::getFileName() {
    return nullptr;
}

UserMeta* FileSourceInterface::getUserMeta() {
    return nullptr;
}

int FileSourceInterface::getQueueRank() {
    return 0;
}

BoolArray* FileSourceInterface::getAvailability() {
    return nullptr;
}

bool FileSourceInterface::matchesLink(const char*) {
    return false;
}

bool FileSourceInterface::isSameUser(UserMeta*) {
    return false;
}

void FileSourceInterface::reserved() {}

void FileSourceInterface::refound() {}

void FileSourceInterface::connectionLost(Peer*) {}

bool FileSourceInterface::gotFileStatus(Peer*, BoolArray*) {
    return false;
}

bool FileSourceInterface::gotCrumbAvailable(Peer*, uint32_t) {
    return false;
}

void FileSourceInterface::newPeer(Peer*) {}

bool FileSourceInterface::queued(Peer*) {
    return false;
}

void FileSourceInterface::placeInQueue(Peer*, int) {}

bool FileSourceInterface::noFile(Peer*) {
    return false;
}

bool FileSourceInterface::tryConnect() {
    return false;
}

bool FileSourceInterface::requestHashes() {
    return false;
}

bool FileSourceInterface::askedForHashes(Peer*) {
    return false;
}

void FileSourceInterface::blockDone(Peer*) {}

bool FileSourceInterface::openSlot(Peer*) {
    return false;
}

void FileSourceInterface::gotFileName(const char*, Peer*) {}

bool FileSourceInterface::callbackFailed(uint32_t, uint32_t) {
    return false;
}

bool FileSourceInterface::connectFailed(uint32_t, uint16_t) {
    return false;
}

void FileSourceInterface::getRequests(uint32_t starts[3], uint32_t ends[3]) {
    for (int i = 0; i < 3; i++) starts[i] = ends[i] = 0;
}

void FileSourceInterface::requestBlocks() {}

void FileSourceInterface::releaseRequest(int) {}

double FileSourceInterface::partnerScore() {
    return -1.0;
}

void FileSourceInterface::askPartner() {}

void FileSourceInterface::partnerEnded() {}

bool FileSourceInterface::partnerAccepted(Peer*) {
    return false;
}

bool FileSourceInterface::partnerDenied(Peer*) {
    return false;
}

bool FileSourceInterface::gotPartnerRequest(Peer*) {
    return false;
}

bool FileSourceInterface::tick(int) {
    return true;
}
