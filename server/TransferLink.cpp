#include "server/TransferLink.h"

#include "i4min/file/i4_field_reader.h"
#include "meta/UserMeta.h"
#include "net/TCPPacket.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/friends/FriendList.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/UploadPool.h"

namespace {
TransferLink builtInLink;
const int SOURCE_ENTRY_BYTES = 6;
}  // namespace

TransferLink* theTransferLink = &builtInLink;

TransferLink::~TransferLink() {}

Download* TransferLink::findDownload(const uint8_t* fileHash) {
    return theDLPool.findByHash(fileHash);
}

void TransferLink::addSource(Download* download, UserMeta* user) {
    if (download) download->addSource(user, nullptr);
}

void TransferLink::releaseDownload(Download* download) {
    if (download) download->release();
}

void TransferLink::downloadCallbackFailed(uint32_t serverIp, uint32_t id) {
    theDLPool.callbackFailed(serverIp, id);
}

void TransferLink::friendCallbackFailed(uint32_t serverIp, uint32_t id) {
    theFriendList.callbackFailed(serverIp, id);
}

void TransferLink::uploadCallbackFailed(uint32_t serverIp, uint32_t id) {
    theUploadPool.callbackFailed(serverIp, id);
}

int TransferLink::connectPeer(UserMeta* user, Peer** existing) {
    // The peer asked for this connection through its server: it stays open unreferenced.
    return theClientPool.connect(user, existing, true);
}

void TransferLink::sendIdChange(Peer* peer) {
    if (peer) peer->sendIdChange();
}

void TransferLink::broadcast(TCPPacket* packet) {
    theClientPool.broadcast(packet);
}

FileList* TransferLink::sharedFiles() {
    return &theTransferGateway.sharedList;
}

bool TransferLink::sharedPassDone() {
    return theHashThread.isPassDone();
}

void TransferLink::addFoundSources(i4_file& f, uint32_t serverIp, uint16_t serverPort) {
    i4_field_reader in(f);
    uint8_t hash[16];
    in.bytes(hash, 16);
    Download* download = findDownload(hash);
    if (!download) return;
    struct Release {
        TransferLink* link;
        Download* download;
        ~Release() { link->releaseDownload(download); }
    } release{this, download};
    uint8_t n = in.u8();
    // The count is the server's word: every entry must be at hand before one is added.
    if ((int64_t)n * SOURCE_ENTRY_BYTES > in.left()) return;
    for (int i = 0; i < n; ++i) {
        UserMeta user;
        user.ip = in.u32();
        user.port = in.u16();
        user.serverIp = serverIp;
        user.serverPort = serverPort;
        addSource(download, &user);
    }
}
