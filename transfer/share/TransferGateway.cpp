#include "transfer/share/TransferGateway.h"

#include <memory>
#include <string.h>

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/net/i4_proxy_settings.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "import/ImportMaster.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "net/STSocketPool.h"
#include "net/TCPDoor.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/friends/FriendList.h"
#include "transfer/friends/MessagePool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/PeerDoor.h"
#include "transfer/share/HashThread.h"
#include "transfer/share/TransferHandler.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/share/TransferWorkers.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/source/PeerSourceMaker.h"
#include "transfer/upload/UploadPool.h"
#include "transfer/web/HttpProtocol.h"
#include "transfer/web/HttpSocketConnectThread.h"
#include "transfer/web/ProtocolInterface.h"
#include "util/LLView.h"

TransferGateway theTransferGateway;
// Built after the gateway, whose lists it works on, and destroyed before it.
HashThread theHashThread(theTransferGateway.knownList, theTransferGateway.shareList, theMessageQ);

namespace {

const char* const SENT = "# Sent";
// known.met is read whole into memory up to this size.
const int64_t KNOWN_IN_MEMORY = 256 * 1024 * 1024;

TCPDoor* makePeerDoor(int port) {
    return new PeerDoor(port);
}

TransferGateway::DoorMaker doorMaker = makePeerDoor;

// The shared directory a record is filed under: its path's directory part, or the
// pseudo directory of partial files for a record without a path.
i4_string directoryOf(FileMeta* m) {
    const char* path = m->getPath();
    if (!path || !*path) return i4_string(ShareList::INCOMPLETE);
    const char* last = nullptr;
    for (const char* c = path; *c; ++c)
        if (*c == '/' || *c == '\\') last = c;
    i4_string dir("");
    if (last) dir.append_n(path, (int)(last - path));
    return dir;
}

// The local tags the record lacks, taken from the listed one.
void keepLocalTags(FileMeta* listed, FileMeta* m) {
    if (!m->getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY) &&
        listed->getSpecialValue(SpecialTagInfo::UPLOAD_PRIORITY)) {
        int32_t priority = listed->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY);
        m->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &priority);
    }
    if (!m->findTag(SENT) && listed->findTag(SENT)) {
        float sent = listed->getTagFloat(SENT);
        m->setTag(SENT, &sent, MetaTag::FLOAT);
    }
}

// Whether the file at the record's path is still the one it describes (same size and time).
bool stillOnDisk(FileMeta* m) {
    i4_file_status status;
    return i4_get_status(m->getPath(), status) &&
           m->isSameFile((uint32_t)status.size, (uint32_t)status.modified, m->getPath());
}

// Reads as much of a known list as the file holds; false when it broke off.
bool readKnown(FileList& list, i4_file& f) {
    int64_t size = f.size();
    if (size < 0) return false;
    if (size > KNOWN_IN_MEMORY) return list.fromDisk(f);
    // One read and a parse in memory: a record costs no system calls.
    uint8_t* bytes = (uint8_t*)i4_malloc((size_t)size + 1);
    int64_t got = 0;
    while (got < size) {
        int32_t r = f.read(bytes + got, (int32_t)(size - got));
        if (r <= 0) break;
        got += r;
    }
    i4_ram_file_class content(bytes, (int32_t)got, 0);
    bool ok = list.fromDisk(content) && got == size;
    i4_free(bytes);
    return ok;
}

}  // namespace

TransferGateway::TransferGateway()
    : shares(*this), loaded(false), door(nullptr), doorOpen(false), doorHeld(false) {}

TransferGateway::~TransferGateway() {
    shareList.clear();
    sharedList.deleteAll();
    knownList.deleteAll();
    if (door && !doorOpen) delete door;
}

void TransferGateway::setDoorMaker(DoorMaker maker) {
    doorMaker = maker ? maker : makePeerDoor;
}

void TransferGateway::setUI(TransferUI* ui) {
    theTransferUI = ui;
}

void TransferGateway::start() {
    theTransferHandler.registerHandlers(theMessageQ);
    services.workers = &theTransferWorkers;
    services.downloads = &theDLPool.peerAnswer;
    services.sourceMaker = &thePeerSourceMaker;
    services.partnerSlots = &thePartnerManager.downloadAnswer;
    services.partners = &thePartnerManager.peerAnswer;
    services.shares = &shares;
    services.friends = &theFriendList.peerAnswer;
    services.chat = &theMessagePool.peerAnswer;
    services.uploads = &theUploadPool.peerAnswer;
    services.uploadNotices = &theUploadPool.downloadAnswer;
    theClientPool.useServices(&services);
    theDLPool.useServices(&services);
    thePartnerManager.useServices(&services);
    // Peer events reach the listeners in this order.
    theClientPool.addListener(&theDLPool);
    theClientPool.addListener(&theUploadPool);
    theClientPool.addListener(&theFriendList);
    theClientPool.addListener(&theMessagePool);
    theCore.taskThread().addTask(&theDLPool);
    theCore.taskThread().addTask(&theUploadPool);
    theImportMaster.registerImporters();
    if (protocols.empty()) protocols.emplace_back(new HttpProtocol);
}

void TransferGateway::stopWorkers() {
    theTransferWorkers.stop();
    HttpSocketConnectThread::stopAll();
}

void TransferGateway::stop() {
    theClientPool.shutdown();
    stopWorkers();
    theDLPool.removeAll();
    // Only a queue that was read is written back: a quit before message 0 keeps it.
    theUploadPool.saveQueue(theTransferOptions.getUploadQueuePath().c_str());
    save();
    closeDoor();
}

void TransferGateway::loadKnownList() {
    i4_safe_file file(theTransferOptions.getKnownPath().c_str(), I4_READ);
    if (!file.get()) return;
    bool whole;
    try {
        whole = readKnown(knownList, *file.get());
    } catch (const i4_err&) {
        whole = false;
    }
    if (whole || !file.use_backup()) {
        checkKnownFormat();
        return;
    }
    // The last good copy may hold what the damaged one lost.
    FileList backup;
    bool backupWhole;
    try {
        backupWhole = readKnown(backup, *file.get());
    } catch (const i4_err&) {
        backupWhole = false;
    }
    if (backupWhole) {
        knownList.deleteAll();
        knownList.appendAll(&backup);
        backup.clear();
    } else {
        backup.deleteAll();
    }
    checkKnownFormat();
}

void TransferGateway::checkKnownFormat() {
    bool old = false;
    {
        i4_lock hold(&knownList);
        for (FileMeta* m : LLView<FileMeta>(knownList.getList())) {
            if (m->getFileSize() <= FileParts::CRUMB_SIZE) continue;
            old = !m->hasCrumbHashes();
            break;
        }
    }
    if (!old) return;
    i4_string text("Old known.met");
    theXMLStringTable.localize("oldKnownMet", text);
    theUI->printLine("%s", text.c_str());
    knownList.deleteAll();
}

void TransferGateway::load() {
    theTransferOptions.load();
    shareList.load(theTransferOptions.getSharePath().c_str());
    theFriendList.load(theTransferOptions.getFriendPath().c_str());
    loadKnownList();
    loaded = true;
    theMessageQ.post(MSG_LOAD_PARTIALS, std::make_unique<i4_string>(theTransferOptions.getTemp()));
    std::vector<i4_string> dirs;
    shareList.directoryNames(dirs);
    theHashThread.startHashing(dirs);
    startDoor(theProxySettings, 500);
    theUploadPool.loadQueue(theTransferOptions.getUploadQueuePath().c_str());
}

void TransferGateway::save() {
    if (!loaded) return;
    theFriendList.save(theTransferOptions.getFriendPath().c_str());
    knownList.save(theTransferOptions.getKnownPath().c_str(), true);
    shareList.save(theTransferOptions.getSharePath().c_str());
    theTransferOptions.save();
}

void TransferGateway::setSharedDirectories(const std::vector<i4_string>& paths) {
    shareList.setDirectories(paths);
    // Before the load (a command-line argument) share.dat is not known yet: the load adds
    // its directories to these, and the end of the pass writes them all.
    if (loaded) shareList.save(theTransferOptions.getSharePath().c_str());
    requestRescan();
}

void TransferGateway::requestRescan() {
    theMessageQ.post(MSG_RESCAN_SHARED);
}

void TransferGateway::rescanShared() {
    // The records stay shared until the pass replaces them, so peers asking meanwhile get
    // their files; only a file that changed, went away or left the shared directories
    // goes now, since its record no longer names what is there.
    std::unordered_set<std::string> kept = dropChangedFiles();
    // Their records come back through message 18, filed under "!Incomplete Files".
    theDLPool.sharePartialFiles();
    std::vector<i4_string> dirs;
    shareList.directoryNames(dirs);
    theHashThread.startHashing(dirs, std::move(kept));
}

std::unordered_set<std::string> TransferGateway::dropChangedFiles() {
    // Filed again from scratch: a new list of directories starts with empty ones.
    shareList.clearFiles();
    std::unordered_set<std::string> kept;
    std::vector<FileMeta*> stay, gone;
    {
        i4_lock hold(&sharedList);
        for (FileMeta* m : LLView<FileMeta>(sharedList.getList())) {
            const char* path = m->getPath();
            // A partial file has no path: it stays as its download shares it.
            bool same =
                !*path || (shareList.findDirectoryFiles(directoryOf(m).c_str()) && stillOnDisk(m));
            (same ? stay : gone).push_back(m);
            if (same && *path) kept.insert(path);
        }
    }
    for (FileMeta* m : gone) withdraw(m);
    for (FileMeta* m : stay) shareList.addFile(directoryOf(m).c_str(), m);
    return kept;
}

void TransferGateway::withdraw(FileMeta* listed) {
    sharedList.getList()->remove(listed);
    theTransferUI->sharedFileRemoved(listed);
    shareList.removeFile(directoryOf(listed).c_str(), listed);
    delete listed;
}

void TransferGateway::getSharedDirectories(std::vector<i4_string>& out) {
    shareList.directoryNames(out);
}

FileList* TransferGateway::findSharedDirectory(const char* name) {
    return shareList.findDirectoryFiles(name);
}

void TransferGateway::fileHashed(FileMeta* m) {
    if (!m) return;
    FileMeta* listed = sharedList.findByHash(m->getFileHash());
    if (listed) {
        // A record without the local tags (a download's) keeps the shared one's: a
        // priority set while the file was downloading outlives its completion.
        keepLocalTags(listed, m);
        i4_string was = directoryOf(listed);
        listed->copyFrom(m);
        delete m;
        i4_string now = directoryOf(listed);
        if (was.equals(now) && shareList.findDirectoryFiles(now.c_str())) return;
        // Filed anew: a partial file that completed moves to its directory.
        shareList.removeFile(was.c_str(), listed);
        if (!shareList.addFile(now.c_str(), listed)) {
            sharedList.getList()->remove(listed);
            theTransferUI->sharedFileRemoved(listed);
            delete listed;
        }
        return;
    }
    m->addTransientTags();
    // A file of a directory the user stopped sharing meanwhile is not shared.
    if (!shareList.addFile(directoryOf(m).c_str(), m)) {
        delete m;
        return;
    }
    sharedList.add(m);
    theUploadPool.getQueue().setFilePriority(m->getFileHash(),
                                             m->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY));
    theTransferUI->sharedFileChanged(m);
    if (theNetworkGateway) {
        FileMeta published(*m);
        published.stripTransientTags();
        theNetworkGateway->fileShared(&published);
    }
}

void TransferGateway::unshareFile(FileMeta* f) {
    if (!f) return;
    FileMeta* listed = sharedList.findByHash(f->getFileHash());
    if (!listed) return;
    const char* path = listed->getPath();
    if (path && *path && i4_strcmp(path, f->getPath()) != 0) return;
    withdraw(listed);
}

bool TransferGateway::servesUnchanged(const uint8_t hash[16]) {
    FileMeta* listed = sharedList.findByHash(hash);
    if (!listed) return false;
    const char* path = listed->getPath();
    if (!path || !*path) return true;
    if (stillOnDisk(listed)) return true;
    i4_file_status status;
    i4_string changed(path);
    withdraw(listed);
    if (i4_get_status(changed.c_str(), status) && status.is_regular)
        theHashThread.rehashFile(changed);
    return false;
}

void TransferGateway::setUploadPriority(const uint8_t hash[16], int priority) {
    int32_t p = priority;
    {
        i4_lock hold(&knownList);
        // Copies of one file in two places have a record each.
        for (FileMeta* k : LLView<FileMeta>(knownList.getList()))
            if (memcmp(k->getFileHash(), hash, 16) == 0)
                k->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
    }
    if (FileMeta* s = sharedList.findByHash(hash))
        s->setSpecialTag(SpecialTagInfo::UPLOAD_PRIORITY, &p);
    // The running download's record becomes the finished file's.
    if (Download* d = theDLPool.findByHash(hash)) {
        if (PartialFile* f = d->getPartialFile()) f->setUploadPriority(priority);
        d->release();
    }
    theUploadPool.getQueue().setFilePriority(hash, priority);
}

void TransferGateway::fileCompleted(FileMeta& finished) {
    if (!loaded) return;
    {
        i4_lock hold(&knownList);
        if (!HashThread::knowAgain(knownList, finished, finished.getName())) {
            FileMeta* k = new FileMeta(finished);
            k->addTransientTags();
            knownList.getList()->appendNoLock(k);
        }
    }
    knownList.save(theTransferOptions.getKnownPath().c_str(), true);
}

namespace {

// Whole copies sent: (size x copies + bytes) / size. A file without bytes has no
// copies to count.
void countSent(FileMeta* m, uint64_t bytes) {
    uint32_t size = m->getFileSize();
    if (size == 0) return;
    long double copies = (long double)m->getTagFloat(SENT);
    float sent = (float)(((long double)size * copies + (long double)bytes) / size);
    m->setTag(SENT, &sent, MetaTag::FLOAT);
}

}  // namespace

void TransferGateway::addSent(const uint8_t hash[16], uint64_t bytes) {
    {
        i4_lock hold(&knownList);
        if (FileMeta* k = knownList.findByHashNoLock(hash)) countSent(k, bytes);
    }
    if (FileMeta* s = sharedList.findByHash(hash)) {
        countSent(s, bytes);
        theTransferUI->sharedFileChanged(s);
    }
}

bool TransferGateway::SharesAnswer::isShared(const uint8_t hash[16]) {
    return gateway.sharedList.findByHash(hash) != nullptr;
}

bool TransferGateway::SharesAnswer::copyShared(const uint8_t hash[16], FileMeta* out) {
    FileMeta* listed = gateway.sharedList.findByHash(hash);
    if (!listed || !out) return false;
    out->copyFrom(listed);
    return true;
}

void TransferGateway::SharesAnswer::getSharedDirectories(LL* names) {
    std::vector<i4_string> paths;
    gateway.shareList.directoryNames(paths);
    for (const i4_string& p : paths) names->append(new i4_string(p));
}

FileList* TransferGateway::SharesAnswer::findSharedDirectory(const char* name) {
    return gateway.shareList.findDirectoryFiles(name);
}

void TransferGateway::startDoor(const i4_proxy_settings* proxy, int timeoutMs) {
    bool changed = theCoreOptions.setProxy(proxy);
    // Nobody can reach a door behind a proxy.
    if (changed && theProxySettings && theProxySettings->type != I4_PROXY_DIRECT) return;
    if (door || doorHeld) return;
    door = doorMaker(theTransferOptions.getDoorPort());
    if (!door) return;
    door->setOwnerSlot(&door);
    doorOpen = door->open(timeoutMs);
    if (doorOpen && theCore.socketPool) {
        theCore.socketPool->add(door);
    } else {
        doorOpen = false;
        // Kept as the current door, so no other is tried until the port changes.
        theTransferUI->errorCantStartDoor();
    }
}

void TransferGateway::closeDoor() {
    if (!door) return;
    TCPDoor* old = door;
    door = nullptr;
    if (doorOpen && theCore.socketPool)
        theCore.socketPool->remove(old);
    else
        delete old;
    doorOpen = false;
}

void TransferGateway::openHeldDoor() {
    if (!doorHeld.exchange(false)) return;
    startDoor(theProxySettings, 500);
}

void TransferGateway::setDoorPort(int port) {
    if (!theTransferOptions.setDoorPort(port)) return;
    closeDoor();
    // The proxy in force stays: a new port is no reason to let peers and servers see the
    // user's own address.
    startDoor(theProxySettings, 500);
    if (theNetworkGateway) theNetworkGateway->doorPortChanged();
}

namespace {

void directoryNotMade(const char* path) {
    theUI->printLine(
        "%s %s", theXMLStringTable.localized("dirNotMade", "Can't make directory:").c_str(), path);
}

}  // namespace

bool TransferGateway::setTemp(const char* path) {
    if (!path || theTransferOptions.getTemp().equals(path)) return false;
    // The downloads' files lie in the old one.
    if (theDLPool.count() > 0) {
        theUI->printLine("%s", theXMLStringTable.get(29));
        return false;
    }
    if (theTransferOptions.setTemp(path)) return true;
    directoryNotMade(path);
    return false;
}

bool TransferGateway::setIncoming(const char* path) {
    if (!path) return false;
    if (theTransferOptions.setIncoming(path)) return true;
    directoryNotMade(path);
    return false;
}
