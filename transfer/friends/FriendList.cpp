#include "transfer/friends/FriendList.h"

#include <memory>
#include <string>

#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/MetaList.h"
#include "meta/UserList.h"
#include "meta/UserMeta.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "util/LL.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

FriendList theFriendList;

namespace {

// Numbered texts of the string table.
enum { TEXT_ASKING = 30, TEXT_FOR_FILE_LIST = 31, TEXT_WAITING = 32, TEXT_CANT_CONNECT = 33 };

// A record without an address (a low-id friend as friend.met keeps it) tells nobody apart
// by address: only its user hash names it.
bool sameUser(UserMeta* a, UserMeta* b) {
    if (a->ip == 0 || b->ip == 0)
        return !UniqueID::isZero(a->hash) && UniqueID::equals(a->hash, b->hash);
    return a->isSameUser(b);
}

void printLocalized(const char* key, const char* text) {
    i4_string line = theXMLStringTable.localized(key, text);
    theUI->printLine("%s", line.c_str() ? line.c_str() : "");
}

}  // namespace

FriendList::FriendList() : peerAnswer(*this), nextSerial(1) {}

FriendList::~FriendList() {}

FriendCache* FriendList::at(int number) {
    if (number < 1 || number > (int)friends.size()) return nullptr;
    return friends[number - 1].get();
}

FriendCache* FriendList::findNoLock(UserMeta* user) {
    if (!user) return nullptr;
    for (auto& f : friends)
        if (sameUser(f->getRecord(), user)) return f.get();
    return nullptr;
}

bool FriendList::appendNoLock(UserMeta* user) {
    if (!user || (int)friends.size() >= MAX_FRIENDS || findNoLock(user)) return false;
    friends.push_back(std::make_unique<FriendCache>(user, nextSerial++));
    return true;
}

bool FriendList::addFriend(UserMeta* user) {
    bool added;
    {
        i4_lock hold(&lock);
        added = appendNoLock(user);
    }
    if (added) theTransferUI->friendsChanged();
    return added;
}

bool FriendList::addFriendByAddress(uint32_t ip, uint16_t port) {
    if (ip == 0) return false;
    UserMeta user;
    user.ip = ip;
    user.port = port;
    addFriend(&user);
    return true;
}

void FriendList::removeFriendAt(int number) {
    {
        i4_lock hold(&lock);
        FriendCache* f = at(number);
        if (!f) return;
        if (pending.serial == f->getSerial()) pending = PendingView();
        friends.erase(friends.begin() + (number - 1));
    }
    theTransferUI->friendsChanged();
}

void FriendList::removeFriend(UserMeta* user) {
    int number = 0;
    {
        i4_lock hold(&lock);
        for (size_t i = 0; i < friends.size() && !number; i++)
            if (user && sameUser(friends[i]->getRecord(), user)) number = (int)i + 1;
    }
    removeFriendAt(number);
}

void FriendList::clear() {
    i4_lock hold(&lock);
    friends.clear();
    pending = PendingView();
}

int FriendList::count() {
    i4_lock hold(&lock);
    return (int)friends.size();
}

bool FriendList::isFriend(UserMeta* user) {
    i4_lock hold(&lock);
    return findNoLock(user) != nullptr;
}

bool FriendList::isFriendHash(const uint8_t hash[16]) {
    if (UniqueID::isZero(hash)) return false;
    i4_lock hold(&lock);
    for (auto& f : friends)
        if (UniqueID::equals(f->getRecord()->hash, hash)) return true;
    return false;
}

void FriendList::setGivesFiles(UserMeta* user, bool gives) {
    i4_lock hold(&lock);
    if (FriendCache* f = findNoLock(user)) f->setGivesFiles(gives);
}

void FriendList::setStatus(unsigned serial, FriendCache::Status status) {
    i4_lock hold(&lock);
    for (auto& f : friends)
        if (f->getSerial() == serial) f->setStatus(status);
}

void FriendList::ask(Peer* peer, const char* directory) {
    theUI->printLine("%s %s %s", theXMLStringTable.get(TEXT_ASKING), peer->getName(),
                     theXMLStringTable.get(TEXT_FOR_FILE_LIST));
    peer->requestSharedFiles(directory);
}

void FriendList::requestView(int number, const char* directory) {
    UserMeta record;
    unsigned serial;
    {
        i4_lock hold(&lock);
        FriendCache* f = at(number);
        if (!f) {
            pending = PendingView();
            return;
        }
        serial = f->getSerial();
        pending.serial = serial;
        pending.directory = directory;
        record.copy(f->getRecord());
    }
    if (record.ip == 0) {
        theUI->printLine("Need to look for user. Not yet implemented.");
        return;
    }
    Peer* peer = nullptr;
    switch (theClientPool.connect(&record, &peer, false)) {
    case ClientPool::CONNECTED: {
        // Sent now: nothing waits for the friend's next connection.
        {
            i4_lock hold(&lock);
            if (pending.serial == serial) pending = PendingView();
        }
        ask(peer, directory);
        break;
    }
    case ClientPool::UNDER_WAY:
        setStatus(serial, FriendCache::WAITING);
        theUI->printLine("%s", theXMLStringTable.get(TEXT_WAITING));
        break;
    case ClientPool::BOTH_LOW:
        setStatus(serial, FriendCache::CANNOT_CONNECT);
        theUI->printLine("%s", theXMLStringTable.get(TEXT_CANT_CONNECT));
        break;
    default:
        break;
    }
}

void FriendList::viewDirectories(int number, bool refresh) {
    {
        i4_lock hold(&lock);
        FriendCache* f = at(number);
        if (f && f->directoryCount() > 0 && !refresh) {
            theUI->printLine("%d directories:", f->directoryCount());
            for (int i = 0; i < f->directoryCount(); i++)
                theUI->printLine("%d) %s", i + 1, f->directoryAt(i)->getName());
            return;
        }
    }
    requestView(number, nullptr);
    printLocalized("fetchingDirs", "fetching requested dirs...");
}

void FriendList::viewFiles(int number, const char* name, bool refresh) {
    enum { NO_DIRECTORIES, NO_SUCH_DIRECTORY, LISTED, FETCH } outcome;
    {
        i4_lock hold(&lock);
        FriendCache* f = at(number);
        FriendCacheDir* dir = f ? f->findDirectory(name) : nullptr;
        if (!f || f->directoryCount() == 0) {
            outcome = NO_DIRECTORIES;
        } else if (!dir) {
            outcome = NO_SUCH_DIRECTORY;
        } else if (dir->getFiles()->getList()->count() > 0 && !refresh) {
            theUI->printLine("%d files:", dir->getFiles()->getList()->count());
            printMetaList(dir->getFiles());
            outcome = LISTED;
        } else {
            outcome = FETCH;
        }
    }
    switch (outcome) {
    case NO_DIRECTORIES:
        requestView(number, nullptr);
        printLocalized("noFetchNoDir",
                       "can't fetch files without dirs!\nfetching requested dirs...");
        break;
    case NO_SUCH_DIRECTORY: {
        i4_string text = theXMLStringTable.localized("invalidDir", "invalid directory name!");
        theUI->printLine("%s (%s)", text.c_str(), name ? name : "");
        break;
    }
    case FETCH:
        requestView(number, name);
        printLocalized("fetchingFiles", "fetching requested files...");
        break;
    case LISTED:
        break;
    }
}

bool FriendList::directoryName(int number, int dir, i4_string* out) {
    i4_lock hold(&lock);
    FriendCache* f = at(number);
    FriendCacheDir* d = f ? f->directoryAt(dir - 1) : nullptr;
    if (!d) return false;
    *out = d->getName();
    return true;
}

FileMeta* FriendList::fileToDownload(int number, int dir, int file) {
    i4_lock hold(&lock);
    FriendCache* f = at(number);
    FriendCacheDir* d = f ? f->directoryAt(dir - 1) : nullptr;
    if (!d || file < 1) return nullptr;
    FileMeta* cached = static_cast<FileMeta*>(d->getFiles()->getAt(file - 1));
    if (!cached) return nullptr;
    // The tags and the hash only: nothing the friend's record says about itself.
    FileMeta* m = new FileMeta;
    m->Meta::copyFrom(cached);
    m->setFileHash(cached->getFileHash());
    return m;
}

void FriendList::gotDirectories(UserMeta* user, LL* names) {
    std::vector<i4_string> read;
    if (names) {
        while (i4_string* name = static_cast<i4_string*>(names->removeAt(0))) {
            read.push_back(*name);
            delete name;
        }
        delete names;
    }
    {
        i4_lock hold(&lock);
        FriendCache* f = findNoLock(user);
        // A list nobody asked for never makes its sender a friend.
        if (!f) return;
        f->replaceDirectories(read);
        if (pending.serial == f->getSerial()) pending = PendingView();
    }
    theTransferUI->friendDirList(user);
}

void FriendList::gotFiles(UserMeta* user, const char* directory, FileList* files) {
    bool cached = false;
    {
        i4_lock hold(&lock);
        FriendCache* f = findNoLock(user);
        if (f && files) {
            f->cacheFiles(directory ? directory : "", files);
            if (pending.serial == f->getSerial()) pending = PendingView();
            cached = true;
        }
    }
    if (files) {
        files->deleteAll();
        delete files;
    }
    if (cached) theTransferUI->friendFileList(user, directory ? directory : "");
}

void FriendList::newPeer(Peer* peer) {
    bool isFriendPeer = false;
    bool send = false;
    i4_string directory;
    {
        i4_lock hold(&lock);
        FriendCache* f = findNoLock(peer->getUser());
        if (f) {
            isFriendPeer = true;
            // The friend's address, port and tags follow the peer.
            f->getRecord()->copy(peer->getUser());
            f->setStatus(FriendCache::CONNECTED);
            if (pending.serial == f->getSerial()) {
                send = true;
                directory = pending.directory;
                pending = PendingView();
            }
        }
    }
    if (!isFriendPeer) {
        theTransferUI->peerConnected(peer->getUser());
        return;
    }
    if (send) {
        // Held until the answer is in: the connection was opened for this browse.
        peer->addRef("FriendList::newPeer");
        ask(peer, directory.c_str());
    }
    theTransferUI->friendsChanged();
}

void FriendList::peerClosed(Peer* peer) {
    bool isFriendPeer;
    {
        i4_lock hold(&lock);
        FriendCache* f = findNoLock(peer->getUser());
        isFriendPeer = f != nullptr;
        if (f) f->setStatus(FriendCache::NOT_CONNECTED);
    }
    if (isFriendPeer)
        theTransferUI->friendsChanged();
    else
        theTransferUI->peerDisconnected(peer->getUser(), (uint64_t)peer->periodSent(),
                                        (uint64_t)peer->periodReceived());
}

void FriendList::callbackFailed(uint32_t, uint32_t) {}

bool FriendList::load(const char* path) {
    i4_safe_file file(path, I4_READ);
    if (!file.get()) {
        // Missing is a first start. There but unreadable: a save will not replace it either.
        if (!file.error()) return true;
        theUI->printLine("%s cannot be read (%s)", path, file.error());
        return false;
    }
    UserList read;
    bool whole = read.fromDisk(*file.get());
    if (!whole && !file.reading_backup() && file.use_backup()) {
        // The last good copy may hold what the damaged one lost.
        UserList backup;
        if (backup.fromDisk(*file.get())) {
            read.deleteAll();
            read.appendAll(&backup);
            backup.clear();
            whole = true;
        } else {
            backup.deleteAll();
        }
    }
    bool added = false;
    {
        i4_lock hold(&lock);
        for (UserMeta* u : LLView<UserMeta>(read.getList())) added = appendNoLock(u) || added;
    }
    read.deleteAll();
    if (added) theTransferUI->friendsChanged();
    return whole;
}

bool FriendList::fileBytes(std::string& out) {
    i4_ram_file_class content(nullptr, 0, 4096);
    bool made;
    {
        // The records themselves, not copies: the temporary list frees only its nodes.
        UserList records;
        i4_lock hold(&lock);
        for (auto& f : friends) records.add(f->getRecord());
        made = records.toBytes(content);
        records.clear();
    }
    if (made) out.assign((const char*)content.get_buffer(), (size_t)content.size());
    i4_free(content.get_buffer());
    return made;
}

bool FriendList::save(const char* path) {
    std::string content;
    bool ok = false;
    // A copy: the safe file's reason dies with it.
    std::string why = "the records could not be put into bytes";
    if (fileBytes(content)) {
        int32_t n = (int32_t)content.size();
        i4_safe_file out(path, I4_WRITE | I4_TRUNCATE);
        ok = out.get() && out.get()->write(content.data(), n) == n;
        ok = out.close() && ok;
        if (!ok) why = out.error() ? out.error() : "write failed";
    }
    if (!ok) theUI->printLine("%s was not replaced: %s", path, why.c_str());
    return ok;
}
