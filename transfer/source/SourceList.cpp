#include "transfer/source/SourceList.h"

#include "core/Core.h"
#include "transfer/peer/Peer.h"
#include "transfer/source/SourceListEntry.h"
#include "util/LLView.h"
#include "util/UniqueID.h"

SourceList theSourceList;

SourceList::SourceList() {}

SourceList::~SourceList() {
    clear();
}

void SourceList::erase(SourceListEntry* entry) {
    if (!entry) return;
    entries.remove(entry);
    delete entry;
}

void SourceList::askForUpload(Peer* connection, const uint8_t fileHash[16]) {
    if (!connection || find(connection->getUser())) return;
    connection->sendUploadRequest(fileHash);
    entries.append(new SourceListEntry(connection->getUser(), theCore.millis()));
}

SourceListEntry* SourceList::first(const Match& match) {
    for (SourceListEntry* e : LLView<SourceListEntry>(entries)) {
        if (match(*e)) return e;
    }
    return nullptr;
}

SourceListEntry* SourceList::find(UserMeta* user) {
    if (!user) return nullptr;
    SourceListEntry* e = first([user](SourceListEntry& x) { return x.user.isSameUser(user); });
    if (e && theCore.millis() - e->time > VALID_MS - 1) {
        erase(e);
        return nullptr;
    }
    return e;
}

void SourceList::setValue(UserMeta* user, int value) {
    if (SourceListEntry* e = find(user)) e->value = value;
}

SourceListEntry* SourceList::findByHash(const uint8_t userHash[16]) {
    return first(
        [userHash](SourceListEntry& x) { return UniqueID::equals(x.user.hash, userHash); });
}

void SourceList::removeConnection(Peer* connection) {
    if (!connection) return;
    erase(findByHash(connection->getUser()->hash));
}

void SourceList::remove(UserMeta* user) {
    if (!user) return;
    erase(first([user](SourceListEntry& x) { return x.user.isSameUser(user); }));
}

void SourceList::removeIpPort(uint32_t ip, uint16_t port) {
    erase(first([ip, port](SourceListEntry& x) { return x.user.ip == ip && x.user.port == port; }));
}

void SourceList::removeIpServer(uint32_t serverIp, uint32_t clientId) {
    erase(first([serverIp, clientId](SourceListEntry& x) {
        return x.user.ip == clientId && x.user.serverIp == serverIp;
    }));
}

void SourceList::clear() {
    while (SourceListEntry* e = static_cast<SourceListEntry*>(entries.removeAt(0))) delete e;
}
