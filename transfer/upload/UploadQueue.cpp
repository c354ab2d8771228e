#include "transfer/upload/UploadQueue.h"

#include <cstring>
#include <ctime>

#include "core/Core.h"
#include "core/UIGateway.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "i4min/file/i4_file_system.h"
#include "i4min/file/i4_ram_file_class.h"
#include "i4min/file/i4_safe_file.h"
#include "i4min/memory/i4_memory.h"
#include "i4min/string/i4_err.h"
#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"
#include "meta/UserMeta.h"
#include "transfer/peer/Peer.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/upload/FileQueue.h"
#include "util/LLView.h"

namespace {

const int IDLE_PRIORITY = -30000;
const int PARTNER_PRIORITY = 30000;
// Far more than any client keeps waiting: a larger count is damage, not a queue.
const uint32_t MAX_GROUPS = 1u << 20;
const uint32_t MAX_ENTRIES = 1u << 20;

int sharedPriority(const uint8_t hash[16]) {
    FileMeta* m = theTransferGateway.sharedList.findByHash(hash);
    return m ? m->getSpecialInt(SpecialTagInfo::UPLOAD_PRIORITY) : 0;
}

void say(const char* key, const char* text) {
    i4_string t = theXMLStringTable.localized(key, text);
    theUI->printLine("%s", t.c_str());
}

}  // namespace

UploadQueue::UploadQueue()
    : owner(nullptr), best(IDLE_PRIORITY), queueCount(0), waiting(0), served(0) {}

UploadQueue::~UploadQueue() {
    clear();
}

void UploadQueue::clear() {
    while (UserMeta* u = static_cast<UserMeta*>(partners.removeAt(0))) delete u;
    while (FileQueue* q = static_cast<FileQueue*>(queues.removeAt(0))) delete q;
    queueCount = 0;
    waiting = 0;
    best = IDLE_PRIORITY;
}

UserMeta* UploadQueue::find(UserMeta* user, int* position) {
    for (FileQueue* q : LLView<FileQueue>(queues))
        if (UserMeta* u = q->find(user, position)) return u;
    if (owner && owner->holdsUser(user)) {
        if (position) *position = 0;
        return user;
    }
    for (UserMeta* u : LLView<UserMeta>(partners)) {
        if (u->isSameUser(user)) {
            if (position) *position = 0;
            return u;
        }
    }
    return nullptr;
}

int UploadQueue::add(UserMeta* user, const uint8_t hash[16]) {
    int position = 0;
    if (find(user, &position)) return position;
    FileQueue* q = fileQueue(hash);
    q->push(new UserMeta(*user));
    waiting++;
    return q->getCount();
}

void UploadQueue::addFront(UserMeta* user, const uint8_t hash[16]) {
    if (find(user, nullptr)) return;
    fileQueue(hash)->pushFront(new UserMeta(*user));
    waiting++;
}

void UploadQueue::addAndNotify(Peer* connection, const uint8_t hash[16]) {
    int position = add(connection->getUser(), hash);
    if (owner) owner->deferRankNotice(connection, (uint32_t)(position * queueCount));
}

FileQueue* UploadQueue::findFileQueue(const uint8_t hash[16]) {
    for (FileQueue* q : LLView<FileQueue>(queues))
        if (memcmp(q->getHash(), hash, 16) == 0) return q;
    return nullptr;
}

FileQueue* UploadQueue::fileQueue(const uint8_t hash[16]) {
    if (FileQueue* q = findFileQueue(hash)) return q;
    FileQueue* q = new FileQueue(hash, sharedPriority(hash));
    queues.append(q);
    queueCount++;
    if (q->getPriority() > best) best = q->getPriority();
    return q;
}

void UploadQueue::setFilePriority(const uint8_t hash[16], int priority) {
    if (FileQueue* q = findFileQueue(hash)) q->setPriority(priority);
}

UserMeta* UploadQueue::next(int slotPriority) {
    for (;;) {
        if (slotPriority < PARTNER_PRIORITY && partners.count() > 0)
            return static_cast<UserMeta*>(partners.removeAt(0));
        if (slotPriority >= best) return nullptr;
        best = IDLE_PRIORITY + 1;
        FileQueue* chosen = nullptr;
        for (FileQueue* q : LLView<FileQueue>(queues)) {
            if (q->getPriority() > best && q->isServable()) {
                best = q->getPriority();
                chosen = q;
            }
        }
        if (!chosen || slotPriority >= chosen->getPriority()) return nullptr;
        UserMeta* u = chosen->pop();
        if (!u) {
            queues.remove(chosen);
            delete chosen;
            queueCount--;
            continue;
        }
        // Equal files take turns: the one served goes to the back.
        queues.remove(chosen);
        queues.append(chosen);
        u->setTag("w", chosen->getHash(), MetaTag::HASH128);
        waiting--;
        served++;
        return u;
    }
}

void UploadQueue::addWaitingPartner(Peer* connection) {
    if (hasWaitingPartner(connection->getUser())) return;
    partners.append(new UserMeta(*connection->getUser()));
}

bool UploadQueue::hasWaitingPartner(UserMeta* user) {
    for (UserMeta* u : LLView<UserMeta>(partners))
        if (u->isSameUser(user)) return true;
    return false;
}

void UploadQueue::removeWaitingPartner(UserMeta* user) {
    for (UserMeta* u : LLView<UserMeta>(partners)) {
        if (u->isSameUser(user)) {
            partners.remove(u);
            delete u;
            return;
        }
    }
}

int UploadQueue::saveCap(int servedPeers, int64_t uptimeMs) {
    double hours = (double)(uptimeMs / 3600000);
    if (hours == 0) hours = 1.0;
    int64_t cap = (int64_t)((double)servedPeers * 12.0 / hours);
    return cap < MIN_SAVED ? MIN_SAVED : (int)(cap > MAX_ENTRIES ? MAX_ENTRIES : cap);
}

int64_t UploadQueue::fileSecondsNow() {
    return (int64_t)time(nullptr);
}

bool UploadQueue::save(const char* path, const std::vector<SlotEntry>& slots) {
    return save(path, slots, fileSecondsNow(), theCore.millis());
}

namespace {

void writeEntry(i4_field_writer& out, const uint8_t* hash, UserMeta* user) {
    out.bytes(hash, 16);
    UserMeta empty;
    UserMeta* u = user ? user : &empty;
    if (!u->toBytes(out.file())) I4_ERROR("record not written");
}

}  // namespace

bool UploadQueue::save(const char* path, const std::vector<SlotEntry>& slots, int64_t nowS,
                       int64_t uptimeMs) {
    i4_ram_file_class content(nullptr, 0, 64 * 1024);
    bool made = true;
    try {
        i4_field_writer out(content);
        int cap = saveCap(served, uptimeMs);
        out.u64((uint64_t)nowS);
        out.u32((uint32_t)(queueCount + 1));
        int n = (int)slots.size() < cap ? (int)slots.size() : cap;
        cap -= n;
        out.u32((uint32_t)n);
        for (int i = 0; i < n; i++) writeEntry(out, slots[(size_t)i].hash, slots[(size_t)i].user);
        for (FileQueue* q : LLView<FileQueue>(queues)) {
            n = q->getCount() < cap ? q->getCount() : cap;
            cap -= n;
            out.u32((uint32_t)n);
            LLNode* at = nullptr;
            for (int i = 0; i < n; i++)
                writeEntry(out, q->getHash(), static_cast<UserMeta*>(LL::next(q, &at)));
        }
    } catch (const i4_err&) {
        made = false;
    }
    bool ok = made && i4_save_whole(path, content.get_buffer(), (int32_t)content.size());
    i4_free(content.get_buffer());
    if (!ok) say("UQnotSaved", "Upload Queue not saved");
    return ok;
}

UploadQueue::LoadResult UploadQueue::load(const char* path) {
    return load(path, fileSecondsNow());
}

void UploadQueue::readGroups(i4_field_reader& in) {
    uint32_t groups = in.count32(MAX_GROUPS, 4);
    for (uint32_t g = 0; g < groups; g++) {
        // Not held against the bytes left: a cut-off group keeps the entries it has.
        uint32_t n = in.count32(MAX_ENTRIES, 0);
        for (uint32_t i = 0; i < n; i++) {
            uint8_t hash[16];
            in.bytes(hash, 16);
            UserMeta user;
            bool whole = user.fromDisk(in.file());
            // What was read of a broken record is still queued; nothing after it can be trusted.
            add(&user, hash);
            if (!whole) I4_ERROR("damaged record");
        }
    }
}

UploadQueue::LoadResult UploadQueue::load(const char* path, int64_t nowS) {
    i4_safe_file file(path, I4_READ);
    if (!file.get()) {
        say("UQnotLoaded", "Upload Queue not loaded");
        return NOT_LOADED;
    }
    i4_field_reader in(*file.get());
    try {
        uint64_t stored = in.u64();
        if ((uint64_t)nowS - stored > MAX_AGE_S) {
            say("UQold", "Upload Queue old. Starting Fresh");
            return TOO_OLD;
        }
        readGroups(in);
    } catch (const i4_err&) {
        return DAMAGED;
    }
    return LOADED;
}
