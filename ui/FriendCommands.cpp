#include "ui/FriendCommands.h"

#include <memory>
#include <string.h>

#include "core/MessageQ.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/string/i4_string.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/UserMeta.h"
#include "net/IpPort.h"
#include "transfer/friends/FriendList.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "ui/CommandArgs.h"
#include "ui/Servant.h"
#include "util/LLView.h"

namespace {

int numberOf(const char* text) {
    int n = 0;
    return CommandArgs::wholeNumber(text, &n) ? n : 0;
}

bool isRefresh(const char* text) {
    return text && strcmp(text, "r") == 0;
}

// "<text of key> <what the user typed>".
void printInvalid(const char* key, const char* text, const char* typed) {
    i4_string line = theXMLStringTable.localized(key, text);
    theUI->printLine("%s %s", line.c_str(), typed);
}

bool friendExists(int number) {
    return number >= 1 && number <= theFriendList.count();
}

// The name of the open connection to that user, copied under the pool's lock.
bool connectionName(UserMeta* user, i4_string* name) {
    LLsafe* peers = theClientPool.getConnections();
    bool found = false;
    i4_lock hold(peers);
    for (Peer* p : LLView<Peer>(peers)) {
        if (user->isSameUser(p->getUser())) {
            *name = p->getName();
            found = true;
            break;
        }
    }
    return found;
}

void listFriends() {
    i4_string connected = theXMLStringTable.localized("connected", "connected");
    i4_string notConnected = theXMLStringTable.localized("disCon", "not connected");
    for (int i = 1;; i++) {
        UserMeta record;
        if (!theFriendList.withFriend(i, [&](FriendCache& f) { record.copy(f.getRecord()); }))
            break;
        i4_string name;
        if (connectionName(&record, &name)) {
            theUI->printLine("(%d)\t%s\t [%s]", i, i4_masked_line(name.c_str()).c_str(),
                             connected.c_str());
        } else {
            i4_string address;
            theUI->printLine("(%d)\t%s\t%d\t [%s]", i, ipToText(record.ip, address),
                             (int)record.port, notConnected.c_str());
        }
    }
}

}  // namespace

void FriendCommands::get(char* line) {
    CommandArgs args(line);
    const char* friendText = args.next();
    const char* dirText = args.next();
    const char* fileText = args.next();
    bool listing = !fileText || isRefresh(fileText);
    if (listing) theServant->getPager().begin();
    if (!friendText) {
        listFriends();
        return;
    }
    int number = numberOf(friendText);
    if (!friendExists(number)) {
        printInvalid("invalidFriendIndex", "Attempting to view invalid friend index:", friendText);
        return;
    }
    if (!dirText || isRefresh(dirText)) {
        theFriendList.viewDirectories(number, dirText != nullptr);
        return;
    }
    i4_string dirName;
    if (!theFriendList.directoryName(number, numberOf(dirText), &dirName)) {
        printInvalid("invalidDirIndex", "Attempting to view invalid directory index:", dirText);
        return;
    }
    if (listing) {
        theFriendList.viewFiles(number, dirName.c_str(), fileText != nullptr);
        return;
    }
    FileMeta* record = theFriendList.fileToDownload(number, numberOf(dirText), numberOf(fileText));
    if (!record) {
        printInvalid("invalidDownloadFile", "Attempting to download invalid file:", fileText);
        return;
    }
    theMessageQ.post(MSG_START_DOWNLOAD, std::unique_ptr<FileMeta>(record));
}

void FriendCommands::add(char* line) {
    CommandArgs args(line);
    const char* text = args.next();
    if (!text) {
        i4_string invalid = theXMLStringTable.localized("invalidPeerIndex", "invalid peer index:");
        theUI->printLine("%s", invalid.c_str());
        return;
    }
    int number = numberOf(text);
    if (number < 1) return;
    UserMeta user;
    bool found = false;
    LLsafe* peers = theClientPool.getConnections();
    {
        i4_lock hold(peers);
        if (Peer* p = static_cast<Peer*>(peers->getAt(number - 1))) {
            user.copy(p->getUser());
            found = true;
        }
    }
    if (!found) return;
    theFriendList.addFriend(&user);
    i4_string added = theXMLStringTable.localized("addedFriend", "added friend.");
    theUI->printLine("%s", added.c_str());
}

void FriendCommands::remove(char* line) {
    CommandArgs args(line);
    const char* text = args.next();
    if (text) theFriendList.removeFriendAt(numberOf(text));
}
