#include "app/StateSaver.h"

#include "core/CoreOptions.h"
#include "i4min/threads/linux/i4_time.h"
#include "server/ExServerList.h"
#include "server/ServerGateway.h"
#include "server/ServerPool.h"
#include "server/ServerSettings.h"
#include "transfer/friends/FriendList.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "ui/AdminSettings.h"

StateSaver theStateSaver;

StateSaver::StateSaver() : started(false), dueMs(0) {
    files.push_back({[] { return theCoreOptions.getPrefPath(); },
                     [](std::string& out) {
                         // Every side's settings go into the record first, as at quit.
                         theAdminSettings.save();
                         theServerSettings.save();
                         theTransferOptions.save();
                         return theCoreOptions.prefBytes(out);
                     },
                     "", false});
    files.push_back({[] { return theServerSettings.serverMetPath(); },
                     [](std::string& out) {
                         ServerPool* pool = theServerGateway.pool();
                         return pool && pool->servers().fileBytes(out);
                     },
                     "", false});
    files.push_back({[] { return theTransferOptions.getFriendPath(); },
                     [](std::string& out) { return theFriendList.fileBytes(out); }, "", false});
    files.push_back({[] { return theTransferOptions.getSharePath(); },
                     [](std::string& out) { return theTransferGateway.shareList.fileBytes(out); },
                     "", false});
}

void StateSaver::begin() {
    check(true);
    started = true;
    dueMs = i4_now_ms() + CHECK_EVERY_MS;
}

bool StateSaver::run(int) {
    if (!started) return false;
    int64_t now = i4_now_ms();
    if (now < dueMs) return false;
    dueMs = now + CHECK_EVERY_MS;
    check(false);
    return false;
}

int StateSaver::nextDueMs() {
    if (!started) return -1;
    int64_t left = dueMs - i4_now_ms();
    return left > 0 ? (int)left : 0;
}

void StateSaver::stopWriting() {
    writer.stopWriting();
}

void StateSaver::check(bool measureOnly) {
    // A file whose write failed is tried again with whatever it holds by then.
    for (const std::string& name : writer.takeFailed())
        for (StateFile& f : files)
            if (!f.path().is_empty() && name == f.path().c_str()) f.known = false;
    for (StateFile& f : files) {
        i4_string path = f.path();
        std::string bytes;
        if (path.is_empty() || !f.bytes(bytes)) continue;
        if (f.known && bytes == f.last) continue;
        f.last.swap(bytes);
        f.known = true;
        if (!measureOnly) writer.write(path.c_str(), f.last);
    }
}
