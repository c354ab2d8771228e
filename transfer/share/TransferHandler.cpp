#include "transfer/share/TransferHandler.h"

#include <string.h>

#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_string.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/TempFiles.h"
#include "transfer/friends/MessagePool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"

TransferHandler theTransferHandler;

namespace {

// In the order they are registered.
const int HANDLED[] = {
    MSG_START_DOWNLOAD,
    MSG_CANCEL_DOWNLOAD,
    MSG_END_DOWNLOAD,
    MSG_PAUSE_DOWNLOAD,
    MSG_RESUME_DOWNLOAD,
    MSG_RESCAN_SHARED,
    MSG_SHARE_FILE,
    MSG_CHECK_DISK_SPACE,
    MSG_FREED_CONNECTION,
    MSG_OPEN_CHAT,
    MSG_NOTHING,
    MSG_REOPEN_DOOR,
    MSG_LOAD_PARTIALS,
    MSG_ADD_USER_SOURCE,
    MSG_ADD_TEXT_SOURCE,
    MSG_RERANK_DOWNLOADS,
    MSG_CONNECT_FAILED,
    MSG_UNSHARE_FILE,
    MSG_DROP_SHARED_DIRECTORY,
    MSG_OPEN_DOOR,
};

const int DOOR_TIMEOUT_MS = 1000;

}  // namespace

namespace {

bool exists(const i4_string& path) {
    i4_file_status st;
    return i4_get_status(path.c_str(), st) != 0;
}

// Splits name at its last '.': the text before it and after it; false without one.
bool splitExtension(const i4_string& name, i4_string& stem, const char** extension) {
    const char* dot = strrchr(name.c_str(), '.');
    if (!dot) return false;
    stem = "";
    stem.append_n(name.c_str(), (int)(dot - name.c_str()));
    *extension = dot + 1;
    return true;
}

}  // namespace

OpenedSlot::OpenedSlot(Peer* c) : serial(c ? c->getSerial() : 0) {}

Peer* OpenedSlot::take() {
    Peer* c = serial ? theClientPool.findBySerial(serial) : nullptr;
    serial = 0;
    return c;
}

void TransferHandler::moveTempFiles(const char* from, const char* to) {
    i4_dir_listing listing;
    if (!from || !*from || !i4_list_directory(from, listing, false)) {
        theUI->print("that directory %s does not exist.\n", from ? from : "");
        return;
    }
    for (const i4_string& name : listing.file_names) {
        i4_string data, base;
        const char *met, *part;
        if (!splitExtension(name, data, &met) || strcmp(met, "met") != 0) continue;
        if (!splitExtension(data, base, &part) || strcmp(part, "part") != 0) continue;
        i4_string dataPath, recordPath;
        dataPath.format("%s/%s", from, data.c_str());
        recordPath.format("%s/%s", from, name.c_str());
        if (!exists(dataPath)) continue;
        i4_string fresh;
        if (!theTempFiles.newName(fresh)) continue;
        i4_string newData, newRecord;
        newData.format("%s/%s", to, fresh.c_str());
        newRecord.format("%s.met", newData.c_str());
        if (i4_rename(dataPath.c_str(), newData.c_str()) != 0) {
            theUI->print("error attempting to copy %s to %s\n", dataPath.c_str(), newData.c_str());
            // Its record stays with the data, which a later try can still move.
            continue;
        }
        if (exists(newRecord)) i4_unlink(newRecord.c_str());
        if (i4_rename(recordPath.c_str(), newRecord.c_str()) != 0)
            theUI->print("error attempting to copy %s to %s\n", recordPath.c_str(),
                         newRecord.c_str());
    }
}

void TransferHandler::registerHandlers(MessageQ& queue) {
    for (int id : HANDLED) queue.setHandler(this, id);
}

void TransferHandler::handleMessage(Message* message) {
    switch (message->id) {
    case MSG_START_DOWNLOAD:
        if (FileMeta* record = message->get<FileMeta>()) theDLPool.startDownload(record);
        break;
    case MSG_END_DOWNLOAD:
    case MSG_PAUSE_DOWNLOAD:
    case MSG_RESUME_DOWNLOAD:
    case MSG_CANCEL_DOWNLOAD: {
        // The message's own reference keeps the download alive here, even when an earlier
        // message ended it.
        Download* d = message->get<Download>();
        if (!d) break;
        if (message->id == MSG_END_DOWNLOAD)
            theDLPool.endDownload(d);
        else if (message->id == MSG_PAUSE_DOWNLOAD)
            d->pause();
        else if (message->id == MSG_RESUME_DOWNLOAD)
            d->resume();
        else
            d->cancel();
        break;
    }
    case MSG_CHECK_DISK_SPACE:
        theDLPool.checkSpace();
        break;
    case MSG_FREED_CONNECTION:
        if (OpenedSlot* slot = message->get<OpenedSlot>()) {
            if (Peer* connection = slot->take()) theDLPool.peerAnswer.openSlot(connection);
        }
        break;
    case MSG_ADD_USER_SOURCE:
        if (UserSource* source = message->get<UserSource>())
            theDLPool.addSourceFor(source->hash, &source->user, nullptr);
        break;
    case MSG_ADD_TEXT_SOURCE:
        if (TextSource* source = message->get<TextSource>())
            theDLPool.addSourceLinkFor(source->hash, source->text.c_str());
        break;
    case MSG_RERANK_DOWNLOADS:
        theDLPool.rerank();
        break;
    case MSG_RESCAN_SHARED:
        theTransferGateway.rescanShared();
        break;
    case MSG_SHARE_FILE:
        theTransferGateway.fileHashed(message->take<FileMeta>().release());
        break;
    case MSG_OPEN_CHAT:
        theMessagePool.openSession(message->get<UserMeta>());
        break;
    case MSG_OPEN_DOOR:
        theTransferGateway.openHeldDoor();
        break;
    case MSG_REOPEN_DOOR:
        theTransferGateway.startDoor(message->get<i4_proxy_settings>(), DOOR_TIMEOUT_MS);
        break;
    case MSG_LOAD_PARTIALS:
        if (i4_string* dir = message->get<i4_string>()) {
            i4_string temp = theTransferOptions.getTemp();
            if (!dir->equals(temp)) moveTempFiles(dir->c_str(), temp.c_str());
            theDLPool.loadDownloads(temp.c_str());
        }
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
