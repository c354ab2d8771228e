#include "transfer/source/PeerSourceMaker.h"

#include "transfer/source/FileSource.h"

PeerSourceMaker thePeerSourceMaker;

FileSourceInterface* PeerSourceMaker::makeSource(UserMeta* user, Download* download,
                                                 Peer* connection) {
    if (!user || !download) return nullptr;
    return new FileSource(user, download, connection);
}
