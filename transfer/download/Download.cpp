#include "transfer/download/Download.h"

#include <string.h>
#include <time.h>

#include "core/CoreOptions.h"
#include "core/DownloadSources.h"
#include "core/MessageQ.h"
#include "core/NetworkGateway.h"
#include "core/PageViewer.h"
#include "core/StringTable.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_path.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "meta/SpecialTagInfo.h"
#include "transfer/download/CompPartialFile.h"
#include "transfer/download/DLPool.h"
#include "transfer/download/DLS_DiskFull.h"
#include "transfer/download/DLS_Done.h"
#include "transfer/download/DLS_Downloading.h"
#include "transfer/download/DLS_ErrorLoading.h"
#include "transfer/download/DLS_Hashing.h"
#include "transfer/download/DLS_PausedHashing.h"
#include "transfer/download/DLS_Queued.h"
#include "transfer/download/DownloadWorkers.h"
#include "transfer/download/PartialFile.h"
#include "transfer/source/FileSourceInterface.h"
#include "transfer/source/FileSourceState.h"
#include "transfer/source/SourceMaker.h"
#include "transfer/upload/UploadNotices.h"
#include "util/BoolArray.h"
#include "util/CountedRef.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

Download::Download()
    : state(nullptr),
      allAvailable(false),
      sourceFinder(theNetworkGateway ? theNetworkGateway->newDownloadSources() : nullptr),
      partialFile(nullptr),
      speed(0),
      priority(PRIORITY_NORMAL) {
    lockSignal.signal();
    memset(fileId, 0, sizeof fileId);
    state = new DLS_Queued(this);
}

Download::~Download() {
    delete state;
    state = nullptr;
    clearSources();
    if (partialFile) partialFile->release();
    delete sourceFinder;
}

void Download::lock() {
    lockSignal.wait(0);
}

bool Download::tryLock() {
    return lockSignal.wait(-1) == 1;
}

void Download::unlock() {
    lockSignal.signal();
}

void Download::post(int id) {
    theMessageQ.post(id, CountedRef<Download>(this));
}

void Download::setState(DownloadState* next) {
    DownloadState* old = state;
    state = next;
    delete old;
}

void Download::clearSources() {
    while (FileSourceInterface* s = (FileSourceInterface*)sources.removeAt(0)) delete s;
}

bool Download::startNew(FileMeta* record) {
    i4_lock hold(this);
    UniqueID::copy(fileId, record->getFileHash());
    i4_string name(record->getName());
    i4_fix_dot_name(name);
    record->setName(name.c_str());
    record->removeSpecialTag(SpecialTagInfo::AVAILABILITY);
    partialFile = theCoreOptions.partstyle ? new PartialFile() : new CompPartialFile();
    partialFile->addRef();
    partialFile->setProgress(&progress);
    if (!partialFile->create(record)) {
        theUI->printLine("%s", theXMLStringTable.get(18));
        return false;
    }
    theTransferUI->downloadChanged(this);
    partialFile->saveInfo(getPriority(), state->isPaused());
    return true;
}

void Download::load(FileMeta* record, int number) {
    i4_lock hold(this);
    UniqueID::copy(fileId, record->getFileHash());
    partialFile = number ? new CompPartialFile() : new PartialFile();
    partialFile->addRef();
    partialFile->setProgress(&progress);
    setPriority(record->getSpecialInt(SpecialTagInfo::DOWNLOAD_PRIORITY));
    bool paused = record->getSpecialInt(SpecialTagInfo::STATE) != 0;
    record->removeSpecialTag(SpecialTagInfo::DOWNLOAD_PRIORITY);
    record->removeSpecialTag(SpecialTagInfo::STATE);
    if (!partialFile->load(record, number)) {
        setState(new DLS_ErrorLoading(this));
    } else if (partialFile->getState() == PartialFile::COMPLETE) {
        // Finished before the client stopped; only its record was left.
        setState(new DLS_Done(this, DLS_Done::COMPLETE));
        post(MSG_END_DOWNLOAD);
    } else {
        if (paused)
            setState(new DLS_PausedHashing(this));
        else
            setState(new DLS_Hashing(this));
        theDLPool.services().workers->queueVerify(this);
    }
    theTransferUI->downloadChanged(this);
}

void Download::addNewSource(FileSourceInterface* source) {
    if (!source) return;
    sources.prepend(source);
    // Sources that stop at the first one accepting pick among equals at random.
    sources.shuffle();
}

void Download::addSourceLink(const char* text) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) {
        if (s->matchesLink(text)) {
            s->refound();
            return;
        }
    }
    addNewSource(theDLPool.services().sourceMaker->makeFromText(text, this));
}

void Download::addSource(UserMeta* user, Peer* connection) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) {
        if (s->isSameUser(user)) {
            s->refound();
            return;
        }
    }
    addNewSource(theDLPool.services().sourceMaker->makeSource(user, this, connection));
}

const char* Download::getFileName() {
    return partialFile ? partialFile->getName() : nullptr;
}

uint32_t Download::getFileSize() {
    return partialFile ? partialFile->getSize() : 0;
}

int Download::crumbCount() {
    return partialFile ? partialFile->crumbCount() : 0;
}

void Download::changeWeight(const uint8_t* flags, int delta) {
    if (!flags) return;
    BoolArray bits(flags, (uint32_t)crumbCount());
    progress.changeWeight(&bits, delta);
}

void Download::changeCrumbs(const uint8_t* oldFlags, const uint8_t* newFlags, int delta) {
    if (!oldFlags || !newFlags) return;
    BoolArray before(oldFlags, (uint32_t)crumbCount()), after(newFlags, (uint32_t)crumbCount());
    progress.changeCrumbs(&before, &after, delta);
}

int Download::refreshCrumbGaps(int crumb) {
    int count = crumbCount();
    if (crumb < 0 || crumb >= count) return count;
    FileParts fp(getFileSize());
    return progress.refreshGaps((uint32_t)fp.crumbStart((uint64_t)crumb),
                                (uint32_t)fp.crumbEnd((uint64_t)crumb));
}

int Download::nextRange(const uint8_t* flags, uint32_t& start, uint32_t& end) {
    if (!flags) return 0;
    BoolArray bits(flags, (uint32_t)crumbCount());
    progress.nextRange(&bits, start, end, 0);
    return 0;
}

bool Download::randomChunkRange(uint32_t& start, uint32_t& end) {
    return progress.randomChunkRange(start, end);
}

bool Download::writeData(const uint8_t* data, uint32_t start, uint32_t end) {
    return storeBlock(data, start, end);
}

bool Download::storeBlock(const uint8_t* data, uint32_t start, uint32_t end) {
    if (!data || !partialFile || start >= end) return true;
    PartialFile::WriteResult r = partialFile->writeBlock(data, end - start, start, end);
    if (r.diskFailed) {
        theUI->printLine("%s: %s", getFileName() ? getFileName() : "", theXMLStringTable.get(5));
        progress.refreshGaps(start, end);
        noRoom();
        return false;
    }
    if (r.gapsRemain) return true;
    finish();
    return false;
}

void Download::sourcesAgain() {
    goesOn = false;
    for (std::unique_ptr<UserMeta>& user : finishedUsers) {
        // A cancelled source is gone at this tick; any other one is simply found again.
        FileSourceInterface* listed = nullptr;
        for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
            if (s->getStatus() != FileSourceState::BAD_SOURCE && s->isSameUser(user.get()))
                listed = s;
        if (listed)
            listed->refound();
        else
            addNewSource(theDLPool.services().sourceMaker->makeSource(user.get(), this, nullptr));
    }
    finishedUsers.clear();
}

void Download::tick(int elapsedMs) {
    i4_lock hold(this);
    // The sources are asked again at once, not after the back-off of a silent peer: the data
    // the completion found wrong, or the hash sets that tell which, are theirs to give.
    if (goesOn) sourcesAgain();
    LLNode* prev = nullptr;
    for (LLNode* cursor = nullptr;
         FileSourceInterface* s = (FileSourceInterface*)LL::next(&sources, &cursor);) {
        if (s->tick(elapsedMs)) {
            prev = cursor;
            continue;
        }
        sources.removeAfter(prev);
        delete s;
        cursor = prev;
    }
    if (sourceFinder) sourceFinder->tick(elapsedMs);
    state->tick(elapsedMs);
}

void Download::pause() {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) s->pause();
    state->pause();
}

void Download::cancel() {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) s->cancel();
    state->cancel();
}

void Download::resume() {
    {
        i4_lock hold(this);
        state->resume();
    }
    theDLPool.rerank();
}

void Download::diskFull() {
    i4_lock hold(this);
    noRoom();
}

void Download::noRoom() {
    state->diskFull();
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) s->diskFull();
}

void Download::spaceAvailable() {
    i4_lock hold(this);
    state->spaceAvailable();
}

void Download::shutdown() {
    i4_lock hold(this);
    updateLastSeenComplete();
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) s->shutdown();
    if (!partialFile) return;
    partialFile->close();
    partialFile->saveInfo(getPriority(), state->isPaused());
}

void Download::hashDone() {
    {
        i4_lock hold(this);
        state->hashDone();
        if (partialFile) UniqueID::copy(fileId, partialFile->getFileHash());
    }
    release();
}

void Download::gotData(uint32_t start, uint32_t end, const uint8_t* data, Peer* connection) {
    i4_lock hold(this);
    state->gotData(start, end, data, connection);
}

void Download::gotFileName(const char* name, Peer* connection) {
    i4_lock hold(this);
    state->gotFileName(name, connection);
}

void Download::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    i4_lock hold(this);
    state->callbackFailed(serverIp, clientId);
}

void Download::connectFailed(uint32_t ip, uint16_t port) {
    i4_lock hold(this);
    state->connectFailed(ip, port);
}

bool Download::openSlot(Peer* connection) {
    i4_lock hold(this);
    return state->openSlot(connection);
}

bool Download::setHighest() {
    i4_lock hold(this);
    return state->setHighest();
}

void Download::giveUpHighest() {
    i4_lock hold(this);
    if (state->isHighest())
        setState(new DLS_Downloading(this));
    else if (getPriority() == PRIORITY_HIGHEST)
        setPriority(PRIORITY_HIGH);
}

void Download::partnerAccepted(Peer* connection) {
    i4_lock hold(this);
    state->partnerAccepted(connection);
}

void Download::partnerDenied(Peer* connection) {
    i4_lock hold(this);
    state->partnerDenied(connection);
}

void Download::peerClosed(Peer* connection) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        s->connectionLost(connection);
}

void Download::newPeer(Peer* connection) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) s->newPeer(connection);
}

void Download::placeInQueue(Peer* connection, int rank) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        s->placeInQueue(connection, rank);
}

void Download::gotFileStatus(Peer* connection, BoolArray* crumbs) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        if (s->gotFileStatus(connection, crumbs)) return;
}

void Download::gotCrumbAvailable(Peer* connection, uint32_t crumb) {
    i4_lock hold(this);
    if (crumb >= (uint32_t)crumbCount()) return;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        if (s->gotCrumbAvailable(connection, crumb)) return;
}

bool Download::queued(Peer* connection) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        if (s->queued(connection)) return true;
    return false;
}

void Download::noFile(Peer* connection) {
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        if (s->noFile(connection)) return;
}

void Download::gotPartnerRequest(Peer* connection, UserMeta* user) {
    addSource(user, connection);
    i4_lock hold(this);
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources))
        if (s->gotPartnerRequest(connection)) return;
}

int Download::getReserveSize() {
    i4_lock hold(this);
    return state->getReserveSize();
}

int Download::getSpaceNeeded() {
    i4_lock hold(this);
    return state->getSpaceNeeded();
}

int Download::getStatus() {
    // Display code must not wait behind a long step.
    if (!lockSignal.wait(1)) return 0;
    i4_lock hold(this, i4_adopt_lock);
    return state->getStatus();
}

bool Download::isPaused() {
    // A worker may replace the state meanwhile.
    i4_lock hold(this);
    return state->isPaused();
}

void Download::gotPartHashes(i4_file& packet) {
    i4_lock hold(this);
    if (partialFile) partialFile->setPartHashes(packet);
}

void Download::gotCrumbHashes(i4_file& packet, Peer* from) {
    i4_lock hold(this);
    if (!partialFile || !from) return;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) {
        if (!s->askedForHashes(from)) continue;
        // The sender's user hash names it; a peer without one, its address.
        UserMeta* user = s->getUserMeta();
        uint8_t origin[16] = {0};
        static const uint8_t zero[16] = {0};
        if (user && memcmp(user->hash, zero, 16) != 0) {
            memcpy(origin, user->hash, 16);
        } else if (user) {
            origin[0] = 1;
            memcpy(origin + 1, &user->ip, 4);
            memcpy(origin + 5, &user->port, 2);
        }
        partialFile->setCrumbHashes(packet, origin);
        return;
    }
    theUI->debug("Crumb hashes of %s not asked for: ignored\n", getFileName());
}

void Download::verify(const std::atomic<bool>* stop) {
    int parts = partialFile ? partialFile->partCount() : 0;
    for (int i = 0; i < parts && !(stop && stop->load()); i++) {
        // Hashed without the lock, which the core task thread takes for every tick.
        bool active = partialFile->verifyPart(i, true);
        i4_lock hold(this);
        partialFile->applyMapNotes();
        if (!active) break;
    }
}

double Download::getAvailability() {
    int count = progress.crumbCount();
    if (count == 0) return 1.0;
    int missing = 0;
    for (int c = 0; c < count; c++)
        if (progress.getWeight(c) == 0) missing++;
    return (double)(count - missing) / count;
}

void Download::finish() {
    finishedUsers.clear();
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) {
        if (UserMeta* user = s->getUserMeta()) {
            finishedUsers.emplace_back(new UserMeta());
            finishedUsers.back()->copy(user);
        }
        s->downloadFinished();
    }
    // The record says the file is whole before joining starts: a crash in the
    // join then costs no data that arrived since the last save.
    if (partialFile) partialFile->saveInfo(getPriority(), state->isPaused());
    setState(new DLS_Done(this, DLS_Done::COMPLETING));
    if (!partialFile) return;
    partialFile->setState(PartialFile::COMPLETING);
    theDLPool.services().uploadNotices->pauseFile(fileId, true);
    theDLPool.services().workers->startCompletion(this);
}

void Download::runCompletion() {
    PartialFile* file = partialFile;
    if (!file) return;
    bool complete = file->complete();
    bool over = complete || file->getState() != PartialFile::ACTIVE;
    {
        i4_lock hold(this);
        if (complete) {
            finishedUsers.clear();
            setState(new DLS_Done(this, DLS_Done::COMPLETE));
        } else if (over) {
            finishedUsers.clear();
            setState(new DLS_Done(this, DLS_Done::CORRUPTED));
        } else {
            // Going on: uploads of what is there resume, and a download that
            // stopped for want of room waits for the space check.
            theDLPool.services().uploadNotices->pauseFile(fileId, false);
            goesOn = true;
            if (file->needsSpace())
                setState(new DLS_DiskFull(this));
            else
                setState(new DLS_Queued(this));
        }
    }
    if (over) post(MSG_END_DOWNLOAD);
}

void Download::updateLastSeenComplete() {
    bool now = progress.allAvailable();
    if (!now && !allAvailable) return;
    allAvailable = now;
    if (!partialFile) return;
    time_t t = time(nullptr);
    char text[32];
    struct tm parts;
    if (!localtime_r(&t, &parts) || !strftime(text, sizeof text, "%a %b %e %H:%M:%S %Y", &parts))
        return;
    partialFile->setRecordText("Last Seen Complete", text);
}

void Download::showUserFileStatus() {
    i4_lock hold(this);
    const char* name = getFileName() ? getFileName() : "";
    int count = sources.count();
    if (count == 0) {
        theUI->printLine(
            "%s %s:", theXMLStringTable.localized("noSourcesFor", "No sources for:").c_str(), name);
        int status = state->getStatus();
        const char* text = theXMLStringTable.get(status);
        theUI->printLine(" %s %s\t\t%s %s",
                         theXMLStringTable.localized("status", "status:").c_str(), text ? text : "",
                         theXMLStringTable.localized("priority", "priority:").c_str(),
                         thePriorityNames[getPriority()].c_str());
        return;
    }
    if (thePageViewer) thePageViewer->begin();
    theUI->printLine(
        "%s %d %s",
        theXMLStringTable.localized("showUserFileStatus", "Showing user, filename, and status for")
            .c_str(),
        count, theXMLStringTable.localized("sources", "sources").c_str());
    int n = 1;
    for (FileSourceInterface* s : LLView<FileSourceInterface>(sources)) {
        if (s->getStatus() == 3) {
            theUI->printLine("");
            continue;
        }
        const char* user = s->getUserName();
        const char* status = theXMLStringTable.get(s->getStatus() + 78);
        const char* file = s->getFileName();
        // Names from the network go through a bounded buffer.
        char line[512];
        snprintf(line, sizeof line, "%d) user: %s\t\tstatus: %s speed: %.2f\n   file name: %s", n++,
                 user && *user ? user : "???", status ? status : "", s->getSpeed(),
                 file ? file : "");
        theUI->printLine("%s", line);
    }
}
