#include "transfer/TransferHandler.h"

#include "core/MessageQ.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "transfer/ClientPool.h"
#include "transfer/MessagePool.h"
#include "transfer/TransferGateway.h"

TransferHandler theTransferHandler;

namespace {

// In the order they are registered.
const int HANDLED[] = {
    MSG_RESCAN_SHARED, MSG_SHARE_FILE,     MSG_OPEN_CHAT,    MSG_NOTHING,
    MSG_REOPEN_DOOR,   MSG_CONNECT_FAILED, MSG_UNSHARE_FILE, MSG_DROP_SHARED_DIRECTORY,
};

const int DOOR_TIMEOUT_MS = 1000;

}  // namespace

void TransferHandler::registerHandlers(MessageQ& queue) {
    for (int id : HANDLED) queue.setHandler(this, id);
}

void TransferHandler::handleMessage(Message* message) {
    switch (message->id) {
    case MSG_RESCAN_SHARED:
        theTransferGateway.rescanShared();
        break;
    case MSG_SHARE_FILE:
        theTransferGateway.fileHashed(message->take<FileMeta>().release());
        break;
    case MSG_OPEN_CHAT:
        theMessagePool.openSession(message->get<UserMeta>());
        break;
    case MSG_REOPEN_DOOR:
        theTransferGateway.startDoor(message->get<i4_proxy_settings>(), DOOR_TIMEOUT_MS);
        break;
    case MSG_CONNECT_FAILED:
        if (IpPort* peer = message->get<IpPort>())
            theClientPool.notify(peer->ip, (uint16_t)peer->port);
        break;
    case MSG_UNSHARE_FILE:
        if (FileMeta* file = message->get<FileMeta>()) theTransferGateway.unshareFile(file);
        break;
    case MSG_DROP_SHARED_DIRECTORY:
        if (i4_string* path = message->get<i4_string>())
            theTransferGateway.shareList.removeDirectory(path->c_str());
        break;
    default:
        break;
    }
}
