#include "transfer/download/DLPool.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>
#include <vector>

#include "core/CoreOptions.h"
#include "core/DownloadSources.h"
#include "core/MessageQ.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_dir_listing.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_path.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartMetFile.h"
#include "transfer/download/PartialFile.h"
#include "transfer/download/TempFiles.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/source/PartnerSlots.h"
#include "transfer/source/SourceList.h"
#include "transfer/upload/UploadNotices.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

DLPool theDLPool;

namespace {

// Directory names tried for one loose record before giving up.
const int MAX_DIRECTORY_TRIES = 1000;

// The downloads of the list, each with a reference, for work done outside the
// list's lock.
std::vector<Download*> referenced(LLsafe& list) {
    std::vector<Download*> out;
    i4_lock hold(&list);
    for (Download* d : LLView<Download>(list)) {
        d->addRef();
        out.push_back(d);
    }
    return out;
}

void releaseAll(std::vector<Download*>& list) {
    for (Download* d : list) d->release();
    list.clear();
}

bool endsWith(const char* text, const char* tail) {
    size_t n = strlen(text), t = strlen(tail);
    return n >= t && strcmp(text + n - t, tail) == 0;
}

// The record names a listing offers: every "X.met", and "X.met" for a lone
// "X.met.bak" whose record went missing.
std::vector<i4_string> recordNames(const i4_dir_listing& listing) {
    std::vector<i4_string> names;
    for (const i4_string& f : listing.file_names) {
        const char* n = f.c_str() ? f.c_str() : "";
        if (endsWith(n, ".met")) {
            names.push_back(f);
        } else if (endsWith(n, ".met.bak")) {
            i4_string record;
            record.append_n(n, (int)strlen(n) - 4);
            bool present = false;
            for (const i4_string& g : listing.file_names) present |= g.equals(record);
            if (!present) names.push_back(record);
        }
    }
    return names;
}

// The name without its last extension: "3.part" of "3.part.met".
i4_string baseOf(const i4_string& fileName) {
    i4_string dir, base, ext;
    i4_split_path(fileName.c_str(), dir, base, ext);
    return base;
}

}  // namespace

DLPool::DLPool()
    : peerAnswer(*this),
      saveCountdown(SAVE_MS),
      quickSaveCountdown(QUICK_SAVE_MS),
      spaceCountdown(0),
      msSinceSlot(SLOT_SPACING_MS),
      gate(true),
      transferring(0),
      freeSpace([](const char* path) { return i4_free_space(path); }),
      serviceRecord(&TransferServices::beforeStart()) {}

DLPool::~DLPool() {}

void DLPool::computeGate() {
    double limit = theCoreOptions.getMaxDownload();
    if (limit == 0)
        limit = theCoreOptions.lineDown > theCoreOptions.maxDownSpeed ? theCoreOptions.lineDown
                                                                      : theCoreOptions.maxDownSpeed;
    double spare = limit / 10 > 0.5 ? limit / 10 : 0.5;
    bool open = transferring.load() <= 1 || limit - theCoreOptions.downRate >= spare;
    if (msSinceSlot < SLOT_SPACING_MS) open = false;
    gate = open;
}

void DLPool::connectStarted() {
    msSinceSlot = 0;
    gate = false;
}

bool DLPool::run(int elapsedMs) {
    uint32_t ms = elapsedMs > 0 ? (uint32_t)elapsedMs : 0;
    msSinceSlot = msSinceSlot + ms > msSinceSlot ? msSinceSlot + ms : UINT32_MAX;
    computeGate();
    // At 0 (a new pool) the first pass checks at once.
    if (spaceCountdown > 0) spaceCountdown -= elapsedMs;
    if (spaceCountdown <= 0) checkSpace();
    double total = 0;
    {
        i4_lock hold(&downloads);
        for (Download* d : LLView<Download>(downloads)) {
            d->tick(elapsedMs);
            total += d->getSpeed();
        }
    }
    theCoreOptions.downRate = total;
    if (total > theCoreOptions.maxDownSpeed) theCoreOptions.maxDownSpeed = total;
    quickSaveCountdown -= elapsedMs;
    if (quickSaveCountdown <= 0) {
        quickSaveCountdown = QUICK_SAVE_MS;
        i4_lock hold(&downloads);
        for (Download* d : LLView<Download>(downloads)) {
            PartialFile* f = d->getPartialFile();
            if (f && f->recordBehind()) f->saveInfo(d->getPriority(), d->isPaused());
        }
    }
    if (saveCountdown > 0) {
        saveCountdown -= elapsedMs;
        if (saveCountdown <= 0) {
            theUI->debug("Saving downloads.\n");
            saveCountdown = SAVE_MS;
            i4_lock hold(&downloads);
            for (Download* d : LLView<Download>(downloads))
                if (d->getPartialFile())
                    d->getPartialFile()->saveInfo(d->getPriority(), d->isPaused());
        }
    }
    return false;
}

void DLPool::checkSpace() {
    int64_t temp = freeSpace(theTransferOptions.getTemp().c_str());
    int64_t incoming = freeSpace(theTransferOptions.getIncoming().c_str());
    int64_t free = temp < incoming ? temp : incoming;
    spaceCountdown = SPACE_MS;
    bool full = free < 0 || (uint64_t)free <= theTransferOptions.resHD;
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) {
        if (full)
            d->diskFull();
        else
            d->spaceAvailable();
    }
}

Download* DLPool::findByHash(const uint8_t* hash) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) {
        if (UniqueID::equals(d->getFileId(), hash)) {
            d->addRef();
            return d;
        }
    }
    return nullptr;
}

Download* DLPool::downloadAt(int index) {
    i4_lock hold(&downloads);
    Download* d = index >= 0 ? (Download*)downloads.getAt(index) : nullptr;
    if (d) d->addRef();
    return d;
}

void DLPool::startDownload(FileMeta* record) {
    if (Download* found = findByHash(record->getFileHash())) {
        found->release();
        theUI->printLine("%s %s.", theXMLStringTable.get(15), record->getName());
        return;
    }
    if (theTransferGateway.sharedList.findByHash(record->getFileHash())) {
        theUI->printLine("%s %s.", theXMLStringTable.get(17), record->getName());
        return;
    }
    theUI->printLine("%s: %s", theXMLStringTable.get(16), record->getName());
    theUI->log("Start Download: %s", record->getName());
    Download* d = new Download();
    d->addRef();
    if (d->startNew(record)) {
        downloads.append(d);
        rerank();
    } else {
        d->release();
    }
    checkSpace();
}

void DLPool::endDownload(Download* d) {
    // A cancel and a completion may both end one download: only the first counts.
    if (!d || !downloads.remove(d)) return;
    theUI->log("End Download: %s", d->getFileName() ? d->getFileName() : "");
    if (DownloadSources* finder = d->getSourceFinder()) finder->forgetRequests(d->getFileId());
    services().uploadNotices->pauseFile(d->getFileId(), false);
    theTransferUI->downloadRemoved(d);
    d->release();
    theMessageQ.post(MSG_CHECK_DISK_SPACE);
    rerank();
}

void DLPool::resumeDownload(FileMeta* record, int number) {
    if (Download* found = findByHash(record->getFileHash())) {
        found->release();
        theUI->printLine("%s %s.", theXMLStringTable.get(15), record->getName());
        return;
    }
    Download* d = new Download();
    d->addRef();
    d->load(record, number);
    theUI->log("Start Old Download: %s", d->getFileName() ? d->getFileName() : record->getName());
    downloads.append(d);
}

void DLPool::moveLooseRecord(const char* directory, const char* baseName, FileMeta& record) {
    int number = atoi(baseName);
    i4_string safe, target;
    i4_safe_component(record.getName(), safe, TempFiles::MAX_COMPONENT);
    bool made = false;
    for (int k = 0; k < MAX_DIRECTORY_TRIES && !made; k++) {
        if (k == 0)
            target.format("%s/%s", directory, safe.c_str());
        else
            target.format("%s/%s%d", directory, safe.c_str(), k);
        made = i4_mkdir(target.c_str()) != 0;
        // Only a taken name is worth another try.
        if (!made && errno != EEXIST) break;
    }
    if (!made) {
        theUI->printLine("%s: %s", theXMLStringTable.get(42), record.getPath());
        return;
    }
    // The parts go first: a record that moved before them would load without them.
    for (int j = 1; j <= record.partCount(); j++) {
        i4_string from, to;
        from.format("%s/%d.%d.part", directory, number, j);
        to.format("%s/%d.%d.part", target.c_str(), number, j);
        i4_file_status st;
        if (i4_get_status(from.c_str(), st)) i4_rename(from.c_str(), to.c_str());
    }
    i4_string to;
    to.format("%s/%s.met", target.c_str(), baseName);
    i4_rename(record.getPath(), to.c_str());
    i4_string backup(record.getPath());
    backup.append(".bak");
    i4_unlink(backup.c_str());
}

void DLPool::loadDownloads(const char* directory) {
    i4_dir_listing listing;
    if (!directory || !i4_list_directory(directory, listing, false)) {
        theUI->printLine("%s: %s", theXMLStringTable.get(42), directory ? directory : "");
        rerank();
        return;
    }
    for (const i4_string& name : recordNames(listing)) {
        i4_string path;
        path.format("%s/%s", directory, name.c_str());
        FileMeta record;
        int version = PartMetFile::read(path.c_str(), record);
        i4_string base = baseOf(name);
        if (version == PartialFile::VERSION_SINGLE) {
            if (!base.is_empty())
                record.setSpecialTag(SpecialTagInfo::TEMP_FILE_NAME, base.c_str());
            resumeDownload(&record, 0);
        } else if (version == PartialFile::VERSION_PARTS) {
            moveLooseRecord(directory, base.c_str(), record);
        }
    }
    i4_dir_listing again;
    if (i4_list_directory(directory, again, false)) {
        for (const i4_string& sub : again.dir_names) {
            if (sub.equals(".") || sub.equals("..")) continue;
            i4_string subPath;
            subPath.format("%s/%s", directory, sub.c_str());
            i4_dir_listing inner;
            if (!i4_list_directory(subPath.c_str(), inner, false)) continue;
            for (const i4_string& name : recordNames(inner)) {
                i4_string path;
                path.format("%s/%s", subPath.c_str(), name.c_str());
                FileMeta record;
                if (PartMetFile::read(path.c_str(), record) != PartialFile::VERSION_PARTS) continue;
                resumeDownload(&record, atoi(baseOf(name).c_str()));
            }
        }
    }
    rerank();
}

void DLPool::addSourceFor(const uint8_t* hash, UserMeta* user, Peer* connection) {
    if (Download* d = findByHash(hash)) {
        d->addSource(user, connection);
        d->release();
    }
}

void DLPool::addSourceLinkFor(const uint8_t* hash, const char* text) {
    if (Download* d = findByHash(hash)) {
        d->addSourceLink(text);
        d->release();
    }
}

bool DLPool::compare(void* a, void* b) {
    if (!a) return false;
    if (!b) return true;
    return ((Download*)a)->getPriority() > ((Download*)b)->getPriority();
}

void DLPool::rerank() {
    downloads.sort(*this);
    std::vector<Download*> ranked = referenced(downloads);
    Download* highest = nullptr;
    for (Download* d : ranked) {
        if (d->setHighest()) {
            highest = d;
            break;
        }
    }
    if (highest) {
        // Only the state that was highest gives way; a paused, checking,
        // completing or waiting download keeps its state.
        i4_lock hold(&downloads);
        for (Download* d : LLView<Download>(downloads))
            if (d != highest) d->giveUpHighest();
    }
    services().partnerSlots->setHighest(highest);
    releaseAll(ranked);
}

void DLPool::setPriority(Download* download, int priority) {
    if (!download) return;
    if (priority == Download::PRIORITY_HIGHEST) {
        i4_lock hold(&downloads);
        for (Download* d : LLView<Download>(downloads))
            if (d->getPriority() == Download::PRIORITY_HIGHEST)
                d->setPriority(Download::PRIORITY_HIGH);
    }
    download->setPriority(priority);
    rerank();
}

bool DLPool::openSlot(Peer* connection) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads))
        if (d->openSlot(connection)) return true;
    return false;
}

bool DLPool::queued(Peer* connection) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads))
        if (d->queued(connection)) return true;
    return false;
}

void DLPool::placeInQueue(Peer* connection, int rank) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) d->placeInQueue(connection, rank);
}

void DLPool::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) d->callbackFailed(serverIp, clientId);
}

void DLPool::newPeer(Peer* connection) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) d->newPeer(connection);
}

void DLPool::peerClosed(Peer* connection) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) d->peerClosed(connection);
}

void DLPool::connectFailed(uint32_t ip, uint16_t port) {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads)) d->connectFailed(ip, port);
}

void DLPool::sharePartialFiles() {
    i4_lock hold(&downloads);
    for (Download* d : LLView<Download>(downloads))
        if (d->getPartialFile()) d->getPartialFile()->shareEntry();
}

void DLPool::removeAll() {
    while (Download* d = (Download*)downloads.removeAt(0)) {
        d->shutdown();
        d->release();
    }
}

void DLPool::dump() {
    theUI->printLine("\nDLPool:");
    i4_lock hold(&downloads);
    int i = 0;
    for (Download* d : LLView<Download>(downloads))
        theUI->printLine("%d) %s %d", i++, d->getFileName() ? d->getFileName() : "",
                         d->getPriority());
}

namespace {

// The download of the hash with a reference for one call, released at its end.
struct Found {
    Found(DLPool& pool, const uint8_t* hash) : d(hash ? pool.findByHash(hash) : nullptr) {}
    ~Found() {
        if (d) d->release();
    }
    Download* d;
};

}  // namespace

bool DLPool::PeerAnswer::partialFile(const uint8_t hash[16], uint32_t* size, uint32_t* crumbs) {
    Found f(pool, hash);
    if (!f.d || !f.d->getPartialFile()) return false;
    if (size) *size = f.d->getFileSize();
    if (crumbs) *crumbs = (uint32_t)f.d->crumbCount();
    return true;
}

bool DLPool::PeerAnswer::doneBits(const uint8_t hash[16], bool crumbs, BoolArray* out) {
    Found f(pool, hash);
    if (!f.d || !f.d->getPartialFile() || !out) return false;
    f.d->getPartialFile()->doneBits(crumbs, *out);
    return true;
}

void DLPool::PeerAnswer::gotData(const uint8_t hash[16], uint32_t start, uint32_t end,
                                 const uint8_t* data, Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->gotData(start, end, data, from);
}

void DLPool::PeerAnswer::noFile(const uint8_t hash[16], Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->noFile(from);
}

void DLPool::PeerAnswer::gotFileStatus(const uint8_t hash[16], Peer* from, BoolArray* crumbs) {
    Found f(pool, hash);
    if (f.d) f.d->gotFileStatus(from, crumbs);
}

void DLPool::PeerAnswer::gotPartHashes(const uint8_t hash[16], i4_file& payload) {
    Found f(pool, hash);
    if (f.d) f.d->gotPartHashes(payload);
}

void DLPool::PeerAnswer::gotCrumbHashes(const uint8_t hash[16], i4_file& payload, Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->gotCrumbHashes(payload, from);
}

void DLPool::PeerAnswer::gotFileName(const uint8_t hash[16], const char* name, Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->gotFileName(name, from);
}

void DLPool::PeerAnswer::partnerAccepted(const uint8_t hash[16], Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->partnerAccepted(from);
}

void DLPool::PeerAnswer::partnerDenied(const uint8_t hash[16], Peer* from) {
    Found f(pool, hash);
    if (f.d) f.d->partnerDenied(from);
}

void DLPool::PeerAnswer::gotCrumbAvailable(const uint8_t hash[16], Peer* from, uint32_t crumb) {
    Found f(pool, hash);
    if (f.d) f.d->gotCrumbAvailable(from, crumb);
}

void DLPool::PeerAnswer::addSourceFor(const uint8_t hash[16], UserMeta* user, Peer* from) {
    pool.addSourceFor(hash, user, from);
}

void DLPool::PeerAnswer::openSlot(Peer* from) {
    if (!from) return;
    // A slot nobody wants is handed back, and its peer is no longer asked.
    if (theClientPool.contains(from) && !pool.openSlot(from)) {
        from->sendCancelTransfer();
        theSourceList.removeConnection(from);
    }
    from->release("ICLT_SLOT_OPEN");
}

void DLPool::PeerAnswer::queued(Peer* from) {
    pool.queued(from);
}

void DLPool::PeerAnswer::placeInQueue(Peer* from, uint32_t rank) {
    if (!from) return;
    theSourceList.setValue(from->getUser(), (int)rank);
    pool.placeInQueue(from, (int)rank);
}
