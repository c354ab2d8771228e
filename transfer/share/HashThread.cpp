#include "transfer/share/HashThread.h"

#include <memory>
#include <string.h>

#include "core/Message.h"
#include "core/MessageQ.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_file_status.h"
#include "i4min/string/i4_err.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_random.h"
#include "i4min/threads/linux/i4_thread.h"
#include "import/ImportMaster.h"
#include "meta/FileHashState.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "meta/FileParts.h"
#include "transfer/download/Download.h"
#include "transfer/download/PartialFile.h"
#include "transfer/share/ShareList.h"
#include "transfer/share/TransferOptions.h"
#include "util/LLView.h"

namespace {

const int STEP_PAUSE_MS = 40;
const int STRINGS_NONE = 26;
const int STRINGS_LOADING_SHARED = 34;
const int STRINGS_COULDNT_HASH = 35;
const int STRINGS_DONE_LOADING_SHARED = 36;

std::atomic<HashThread::RunningCheck> runningCheck(nullptr);

const char* text(int id) {
    const char* t = theXMLStringTable.get(id);
    return t ? t : "";
}

i4_string localized(const char* key, const char* fallback) {
    i4_string s(fallback);
    theXMLStringTable.localize(key, s);
    return s;
}

}  // namespace

HashThread::HashThread(FileList& knownList, ShareList& shareList, MessageQ& messages)
    : known(knownList),
      shares(shareList),
      queue(messages),
      listing(nullptr),
      position(0),
      passDone(false),
      quitting(false),
      diskRead(true),
      reindex(true) {
    setOwnerJoins();
}

HashThread::~HashThread() {
    stop();
    freeListing();
    drop(working);
    drop(pending);
}

void HashThread::drop(std::deque<Check>& checks) {
    for (Check& c : checks) {
        c.file->release();
        c.download->release();
    }
    checks.clear();
}

void HashThread::queueCompleted(Download* download) {
    PartialFile* file = download ? download->getPartialFile() : nullptr;
    if (!file) return;
    download->addRef();
    file->addRef();
    {
        i4_lock hold(&queueLock);
        pending.push_back(Check{download, file});
    }
    if (!quitting) start();
}

void HashThread::quit() {
    quitting = true;
    stop();
    i4_lock hold(&queueLock);
    drop(working);
    drop(pending);
}

int HashThread::pendingChecks() {
    i4_lock hold(&queueLock);
    return (int)(pending.size() + working.size());
}

bool HashThread::checkOne() {
    if (working.empty()) {
        i4_lock hold(&queueLock);
        working.swap(pending);
    }
    if (working.empty()) return false;
    Check c = working.front();
    working.pop_front();
    c.download->verify(&quitting);
    if (quitting)
        c.download->release();
    else
        c.download->hashDone();  // gives the check's reference back
    c.file->release();
    // Only after a check: a pass over a large share must not flood the queue.
    queue.post(MSG_RERANK_DOWNLOADS);
    return true;
}

void HashThread::setRunningCheck(RunningCheck check) {
    runningCheck = check;
}

void HashThread::onStart() {
    i4_random_seed();
}

void HashThread::freeListing() {
    delete listing;
    listing = nullptr;
}

bool HashThread::stopping() const {
    if (getState() != RUNNING) return true;
    RunningCheck check = runningCheck.load();
    return check && !check();
}

void HashThread::startHashing(std::vector<i4_string>& dirs,
                              std::unordered_set<std::string> shared) {
    i4_lock hold(&dirLock);
    theUI->printLine("%s", text(STRINGS_LOADING_SHARED));
    passDone = false;
    reindex = true;
    position = 0;
    freeListing();
    directories.clear();
    directories.swap(dirs);
    sharedPaths.swap(shared);
    for (const i4_string& d : directories) theUI->debug("Hash List: %s\n", d.c_str());
    // Under dirLock, so a pass that is just ending cannot stop the thread after this.
    start();
    setPriority(3);
}

void HashThread::rehashFile(const i4_string& path) {
    i4_lock hold(&dirLock);
    passDone = false;
    files.push_back(path);
    if (!quitting) start();
}

HashThread::Step HashThread::nextFile(i4_string& path) {
    if (!files.empty()) {
        path = files.front();
        files.erase(files.begin());
        return FILE_CHOSEN;
    }
    if (directories.empty()) return NOTHING_LEFT;
    const i4_string& current = directories.front();
    if (!listing) {
        position = 0;
        listing = new i4_dir_listing();
        if (!i4_list_directory(current.c_str(), *listing, false)) {
            theUI->printLine("%s: %s", text(STRINGS_COULDNT_HASH), current.c_str());
            // The share list is the core task thread's to change.
            queue.post(MSG_DROP_SHARED_DIRECTORY, std::make_unique<i4_string>(current));
            freeListing();
        }
    }
    if (listing && position < listing->file_names.size()) {
        path.format("%s%c%s", current.c_str(), '/', listing->file_names[position++].c_str());
        return FILE_CHOSEN;
    }
    freeListing();
    directories.erase(directories.begin());
    return DIRECTORY_DONE;
}

void HashThread::endPass() {
    theTransferUI->hashingStatus(text(STRINGS_NONE));
    known.save(theTransferOptions.getKnownPath().c_str(), true);
    shares.save(theTransferOptions.getSharePath().c_str());
    // Said once the lists are on the disk.
    theUI->printLine("%s", text(STRINGS_DONE_LOADING_SHARED));
    passDone = true;
    directories.clear();
    sharedPaths.clear();
    {
        // A check queued after this goes on with the thread.
        i4_lock hold(&queueLock);
        if (pending.empty()) requestStop();
    }
    queue.post(MSG_PUBLISH);
    theTransferUI->shareListChanged();
}

void HashThread::run() {
    // Only after reading: the pause spares the disk, and a file that needs no reading
    // must not keep a large share waiting.
    if (diskRead) i4_sleep_ms(STEP_PAUSE_MS);
    diskRead = false;
    // Also between files that need no reading, so a quit never waits for a long pass.
    if (stopping()) {
        requestStop();
        return;
    }
    try {
        if (checkOne()) {
            diskRead = true;
            return;
        }
        i4_string path;
        const char* name = nullptr;
        bool wasShared;
        {
            i4_lock hold(&dirLock);
            Step step = nextFile(path);
            if (step == NOTHING_LEFT) endPass();
            if (step != FILE_CHOSEN) return;
            wasShared = sharedPaths.erase(path.c_str()) > 0;
            // The name stays valid: path is this step's own copy.
            name = path.c_str() + path.length();
            while (name > path.c_str() && name[-1] != '/') --name;
        }
        // Hashed outside the lock: a rescan must not wait for a large file.
        std::unique_ptr<FileMeta> record(shareFile(path.c_str(), name, wasShared));
        if (record) queue.post(MSG_SHARE_FILE, std::move(record));
    } catch (const Stopped&) {
        requestStop();
    } catch (...) {
        theUI->printLine("ERROR: Exception during hash.");
        requestStop();
    }
}

FileMeta* HashThread::shareFile(const char* path, const char* name, bool wasShared) {
    i4_file_status status;
    if (!i4_get_status(path, status)) {
        theUI->print("Couldn't get status of %s\n", name);
        return nullptr;
    }
    // A pipe or a device would block the thread or never end.
    if (!status.is_regular) return nullptr;
    if (!FileParts::isShareable((uint64_t)status.size)) {
        i4_string tooLarge = localized("fileTooLarge", "Not shared, 4 GiB or more:");
        theUI->printLine("%s %s", tooLarge.c_str(), name);
        return nullptr;
    }
    uint32_t size = (uint32_t)status.size;
    uint32_t modified = (uint32_t)status.modified;

    // An unchanged file is never read again; a file of the same name elsewhere is another
    // file, with bytes of its own.
    FileMeta* copy = nullptr;
    {
        i4_lock hold(&known);
        FileMeta* same = knownAt(path, size, modified);
        // Its shared record stands: a rescan of a large share sends nothing.
        if (same && wasShared) return nullptr;
        if (same) copy = new FileMeta(*same);
    }
    if (copy) {
        copy->setPath(path);
        return copy;
    }

    theTransferUI->hashingStatus(name);
    diskRead = true;
    FileMeta* record = hashFile(path);
    if (!record) {
        theUI->print("ERROR: Couldn't hash %s\n", name);
        return nullptr;
    }
    record->setModTime(modified);
    bool wasKnown;
    {
        i4_lock hold(&known);
        wasKnown = knowAgain(known, *record, name);
    }
    if (wasKnown) return record;
    // The media tags travel with the record to peers and servers.
    if (!theImportMaster.import(*record)) {
        theUI->printLine("%s %s", localized("importFailed", "Import failed:").c_str(), name);
        delete record;
        return nullptr;
    }
    // Kept in known.met, the priority and the copies sent outlive the session.
    record->addTransientTags();
    known.add(new FileMeta(*record));
    return record;
}

FileMeta* HashThread::knownAt(const char* path, uint32_t size, uint32_t modified) {
    // A walk of the known list per file would make a pass over a large share take
    // minutes; the index is made once a pass.
    if (reindex.exchange(false)) {
        knownByPath.clear();
        for (FileMeta* m : LLView<FileMeta>(known.getList()))
            if (*m->getPath()) knownByPath.emplace(m->getPath(), m);
    }
    auto at = knownByPath.find(path);
    if (at != knownByPath.end() && at->second->isSameFile(size, modified, path)) return at->second;
    // Records added or moved during the pass are not in the index.
    return known.findSameFileNoLock(size, modified, path);
}

bool HashThread::knowAgain(FileList& known, FileMeta& record, const char* name) {
    FileMeta* sameContent = known.findByHashNoLock(record.getFileHash());
    if (!sameContent) return false;
    FileMeta* mine = sameContent;
    // A renamed or moved file keeps its record (tags, priority, copies sent); a copy of
    // a file that is still where its record says gets a record of its own, so that
    // neither is read again at the next pass.
    i4_file_status status;
    const char* there = sameContent->getPath();
    if (*there && strcmp(there, record.getPath()) != 0 && i4_get_status(there, status) &&
        sameContent->isSameFile((uint32_t)status.size, (uint32_t)status.modified, there)) {
        mine = new FileMeta(*sameContent);
        known.getList()->appendNoLock(mine);
    }
    mine->setPath(record.getPath());
    mine->setModTime(record.getModTime());
    mine->setName(name);
    record.copyFrom(mine);
    return true;
}

FileMeta* HashThread::hashFile(const char* path) {
    FileHashState state;
    FileMeta* record = nullptr;
    try {
        record = new FileMeta(path, state);
        while (record->hashStep(state)) {
            if (stopping()) {
                delete record;
                throw Stopped();
            }
        }
    } catch (const i4_err&) {
        delete record;
        return nullptr;
    }
    return record;
}
