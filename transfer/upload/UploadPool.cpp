#include "transfer/upload/UploadPool.h"

#include <cstring>

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "core/TransferUI.h"
#include "i4min/threads/linux/i4_lock.h"
#include "i4min/threads/linux/i4_time.h"
#include "meta/UserMeta.h"
#include "net/STSocketPool.h"
#include "transfer/download/DLPool.h"
#include "transfer/peer/ClientPool.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferOptions.h"
#include "transfer/source/PartnerManager.h"
#include "transfer/upload/Upload.h"
#include "transfer/upload/UploadSlot.h"
#include "util/LLView.h"

UploadPool theUploadPool;

UploadPool::UploadPool()
    : peerAnswer(*this),
      downloadAnswer(*this),
      coreKnown(false),
      saveTimer(0),
      queueAnswer(*this),
      tunerAnswer(*this),
      tuner(tunerAnswer),
      loaded(false) {
    queue.setOwner(&queueAnswer);
    for (int i = 0; i < START_SLOTS; i++) {
        UploadSlot* s = new UploadSlot(*this);
        s->addRef();
        slotList.append(s);
    }
}

UploadPool::~UploadPool() {
    while (RankNotice* n = static_cast<RankNotice*>(rankNotices.removeAt(0))) delete n;
    // At exit the slots go quietly: saveQueue already gave their peers back.
    while (UploadSlot* s = static_cast<UploadSlot*>(slotList.removeAt(0))) {
        s->dropQuietly();
        s->release();
    }
}

void UploadPool::slots(std::vector<UploadSlot*>& out) {
    out.clear();
    for (UploadSlot* s : LLView<UploadSlot>(slotList)) out.push_back(s);
}

bool UploadPool::onCoreThread() const {
    return coreKnown && std::this_thread::get_id() == coreThread;
}

bool UploadPool::run(int ms) {
    if (!coreKnown) {
        coreThread = std::this_thread::get_id();
        coreKnown = true;
    }
    takeNotices();
    std::vector<UploadSlot*> list;
    slots(list);
    double sum = 0;
    for (UploadSlot* s : list) {
        s->tick(ms);
        sum += s->rate();
    }
    while (RankNotice* n = static_cast<RankNotice*>(rankNotices.removeAt(0))) {
        n->connection->sendQueueRank(n->rank);
        delete n;
    }
    theCoreOptions.upRate = sum;
    if (sum > theCoreOptions.maxUpSpeed) theCoreOptions.maxUpSpeed = sum;
    tuner.tick(ms);
    saveTimer += ms;
    if (saveTimer > SAVE_MS) {
        saveTimer = 0;
        if (loaded) {
            std::vector<UploadQueue::SlotEntry> entries;
            slotEntries(entries);
            queue.save(theTransferOptions.getUploadQueuePath().c_str(), entries);
            freeEntries(entries);
        }
    }
    return false;
}

void UploadPool::PeerAnswer::handleRequest(Peer* from, const uint8_t hash[16],
                                           const uint32_t starts[3], const uint32_t ends[3]) {
    std::vector<UploadSlot*> list;
    pool.slots(list);
    for (UploadSlot* s : list)
        if (s->handleRequest(hash, starts, ends, from)) return;
    if (thePartnerManager.isPartner(from)) {
        UploadSlot* s = pool.partnerSlot(from);
        s->tick(0);
        s->handleRequest(hash, starts, ends, from);
        return;
    }
    enqueue(from, hash);
    pool.slots(list);
    for (UploadSlot* s : list) {
        s->tick(0);
        if (s->handleRequest(hash, starts, ends, from)) return;
    }
    from->sendOutOfParts();
}

void UploadPool::PeerAnswer::enqueue(Peer* from, const uint8_t hash[16]) {
    theDLPool.addSourceFor(hash, from->getUser(), from);
    pool.queue.addAndNotify(from, hash);
}

void UploadPool::PeerAnswer::peerCancelled(Peer* from) {
    pool.peerClosed(from);
}

void UploadPool::PeerAnswer::removeWaitingPartner(UserMeta* user) {
    pool.queue.removeWaitingPartner(user);
}

void UploadPool::newPeer(Peer* peer) {
    std::vector<UploadSlot*> list;
    slots(list);
    for (UploadSlot* s : list)
        if (s->newPeer(peer)) return;
}

void UploadPool::connectFailed(uint32_t ip, uint16_t port) {
    std::vector<UploadSlot*> list;
    slots(list);
    for (UploadSlot* s : list)
        if (s->connectFailed(ip, port)) return;
}

void UploadPool::callbackFailed(uint32_t serverIp, uint32_t clientId) {
    std::vector<UploadSlot*> list;
    slots(list);
    for (UploadSlot* s : list)
        if (s->callbackFailed(serverIp, clientId)) return;
}

void UploadPool::peerClosed(Peer* peer) {
    std::vector<UploadSlot*> list;
    slots(list);
    for (UploadSlot* s : list)
        if (s->peerClosed(peer)) break;
    // A closing connection leaves no pointer behind, whoever held it.
    for (UploadSlot* s : list) s->forgetConnection(peer);
    std::vector<RankNotice*> gone;
    for (RankNotice* n : LLView<RankNotice>(rankNotices))
        if (n->connection == peer) gone.push_back(n);
    for (RankNotice* n : gone) {
        rankNotices.remove(n);
        delete n;
    }
}

void UploadPool::QueueAnswer::deferRankNotice(Peer* connection, uint32_t rank) {
    pool.rankNotices.append(new RankNotice{connection, rank});
}

void UploadPool::cancelRankNotice(Peer* connection) {
    for (RankNotice* n : LLView<RankNotice>(rankNotices)) {
        if (n->connection == connection) {
            rankNotices.remove(n);
            delete n;
            return;
        }
    }
}

void UploadPool::carryOut(const Notice& n) {
    std::vector<UploadSlot*> list;
    slots(list);
    if (n.crumb < 0) {
        for (UploadSlot* s : list) {
            Upload* u = s->getUpload();
            if (u && memcmp(u->getFileHash(), n.hash, 16) == 0) u->setPaused(n.paused);
        }
        return;
    }
    for (UploadSlot* s : list) {
        Upload* u = s->getUpload();
        Peer* to = nullptr;
        if (u) {
            if (memcmp(u->getFileHash(), n.hash, 16) == 0) to = u->getConnection();
        } else if (s->priority() >= UploadSlot::PARTNER_PRIORITY && s->getPending()) {
            to = theClientPool.findConnection(s->getPending());
        }
        if (to) to->sendCrumbAvailable(n.hash, (uint32_t)n.crumb);
    }
}

void UploadPool::takeNotices() {
    std::vector<Notice> taken;
    {
        i4_lock hold(&noticeLock);
        taken.swap(notices);
    }
    for (const Notice& n : taken) carryOut(n);
}

void UploadPool::submit(const uint8_t* fileHash, int crumb, bool paused) {
    Notice n;
    memcpy(n.hash, fileHash, 16);
    n.crumb = crumb;
    n.paused = paused;
    if (onCoreThread()) {
        carryOut(n);
        return;
    }
    i4_lock hold(&noticeLock);
    notices.push_back(n);
}

void UploadPool::DownloadAnswer::announceCrumb(const uint8_t* fileHash, int crumb) {
    pool.submit(fileHash, crumb < 0 ? 0 : crumb, false);
}

void UploadPool::DownloadAnswer::pauseFile(const uint8_t* fileHash, bool paused) {
    pool.submit(fileHash, -1, paused);
}

UploadSlot* UploadPool::findSlotOf(UserMeta* user) {
    for (UploadSlot* s : LLView<UploadSlot>(slotList))
        if (s->holdsUser(user)) return s;
    return nullptr;
}

bool UploadPool::QueueAnswer::holdsUser(UserMeta* user) {
    return pool.findSlotOf(user) != nullptr;
}

UploadSlot* UploadPool::partnerSlot(Peer* connection) {
    if (UploadSlot* held = findSlotOf(connection->getUser())) {
        held->setPriority(UploadSlot::PARTNER_PRIORITY);
        return held;
    }
    UploadSlot* answer = nullptr;
    for (UploadSlot* s : LLView<UploadSlot>(slotList)) {
        if (s->priority() < UploadSlot::PARTNER_PRIORITY) {
            answer = s;
            break;
        }
    }
    if (!answer) {
        answer = new UploadSlot(*this);
        answer->addRef();
        slotList.append(answer);
        theTransferUI->uploadSlotChanged(answer);
    }
    queue.addWaitingPartner(connection);
    return answer;
}

void UploadPool::addWaitingPartner(Peer* connection) {
    queue.addWaitingPartner(connection);
}

void UploadPool::slotEntries(std::vector<UploadQueue::SlotEntry>& out) {
    for (UploadSlot* s : LLView<UploadSlot>(slotList)) {
        UploadQueue::SlotEntry e;
        const uint8_t* h = s->fileHash();
        if (h)
            memcpy(e.hash, h, 16);
        else
            memset(e.hash, 0, 16);
        e.user = new UserMeta;
        if (!s->getPeer(e.user)) {
            delete e.user;
            e.user = nullptr;
        }
        out.push_back(e);
    }
}

void UploadPool::freeEntries(std::vector<UploadQueue::SlotEntry>& entries) {
    for (auto& e : entries) delete e.user;
    entries.clear();
}

void UploadPool::saveQueue(const char* path) {
    if (loaded) {
        std::vector<UploadQueue::SlotEntry> entries;
        slotEntries(entries);
        queue.save(path, entries);
        freeEntries(entries);
    }
    std::vector<UploadSlot*> list;
    slots(list);
    slotList.clear();
    for (UploadSlot* s : list) {
        tuner.forget(s);
        s->release();
    }
}

void UploadPool::loadQueue(const char* path) {
    loaded = true;
    queue.load(path);
}

bool UploadPool::compare(void* a, void* b) {
    UploadSlot* x = static_cast<UploadSlot*>(a);
    UploadSlot* y = static_cast<UploadSlot*>(b);
    if (!x || !y) return x != nullptr;
    if (x->priority() != y->priority()) return x->priority() < y->priority();
    return x->getTimer() > y->getTimer();
}

int UploadPool::recentOf(Upload* u) {
    UserMeta peer;
    if (!u->getPeer(&peer)) return -1;
    for (size_t i = 0; i < recent.size(); i++)
        if (memcmp(recent[i].user, peer.hash, 16) == 0 &&
            memcmp(recent[i].file, u->getFileHash(), 16) == 0)
            return (int)i;
    return -1;
}

void UploadPool::rememberRanges(Upload* ending) {
    UserMeta peer;
    if (!ending->getPeer(&peer) || ending->getBytesSent() == 0) return;
    int older = recentOf(ending);
    if (older >= 0) recent.erase(recent.begin() + older);
    Recent r;
    memcpy(r.user, peer.hash, 16);
    memcpy(r.file, ending->getFileHash(), 16);
    r.ranges = ending->history();
    r.rate = ending->rate();
    r.endedMs = i4_now_ms();
    recent.push_back(r);
    if (recent.size() > MAX_RECENT) recent.erase(recent.begin());
}

void UploadPool::recallRanges(Upload* starting) {
    int i = recentOf(starting);
    if (i < 0) return;
    const Recent& r = recent[(size_t)i];
    starting->inherit(r.ranges);
    if (i4_now_ms() - r.endedMs <= RATE_KEPT_MS) starting->inheritRate(r.rate);
    recent.erase(recent.begin() + i);
}

void UploadPool::sortSlots() {
    slotList.sort(*this);
}

double UploadPool::TunerAnswer::sendRate() {
    return theCore.socketPool ? theCore.socketPool->totalSendRate() : 0.0;
}

double UploadPool::TunerAnswer::uploadRate() {
    return theCoreOptions.upRate;
}

double UploadPool::TunerAnswer::uploadLimit() {
    double limit = theCoreOptions.getMaxUpload();
    return limit >= CoreOptions::MAX_LIMIT ? 0.0 : limit;
}

double UploadPool::TunerAnswer::peakRate() {
    return theCoreOptions.maxUpSpeed;
}

void UploadPool::TunerAnswer::countSlots(int* count, int* idle, double* idleWeight) {
    *count = 0;
    *idle = 0;
    *idleWeight = 0;
    for (UploadSlot* s : LLView<UploadSlot>(pool.slotList)) {
        (*count)++;
        if (s->isIdle()) (*idle)++;
        *idleWeight += s->idleWeight();
    }
}

UploadSlot* UploadPool::TunerAnswer::addSlot() {
    UploadSlot* s = new UploadSlot(pool);
    s->addRef();
    pool.slotList.append(s);
    theTransferUI->uploadSlotChanged(s);
    pool.sortSlots();
    return s;
}

UploadSlot* UploadPool::TunerAnswer::firstAfterShuffle() {
    pool.slotList.shuffle();
    pool.sortSlots();
    return static_cast<UploadSlot*>(pool.slotList.first());
}

int UploadPool::TunerAnswer::priorityOf(UploadSlot* slot) {
    return slot->priority();
}

const char* UploadPool::TunerAnswer::nameOf(UploadSlot* slot) {
    const char* n = slot->peerName();
    return n ? n : "";
}

void UploadPool::TunerAnswer::pause(UploadSlot* slot) {
    slot->pause();
}

void UploadPool::TunerAnswer::resume(UploadSlot* slot) {
    slot->resume();
}

void UploadPool::TunerAnswer::remove(UploadSlot* slot) {
    if (!pool.slotList.remove(slot)) return;
    theTransferUI->uploadSlotRemoved(slot);
    slot->release();
}
