#include "transfer/PeerSourceMaker.h"

#include "transfer/FileSource.h"

PeerSourceMaker thePeerSourceMaker;

void PeerSourceMaker::install() {
    if (theSourceMaker == this) return;
    previous = theSourceMaker;
    theSourceMaker = this;
}

FileSourceInterface* PeerSourceMaker::makeSource(UserMeta* user, Download* download,
                                                 Peer* connection) {
    if (!user || !download) return nullptr;
    return new FileSource(user, download, connection);
}

FileSourceInterface* PeerSourceMaker::makeFromText(const char* text, Download* download) {
    return previous ? previous->makeFromText(text, download) : nullptr;
}
