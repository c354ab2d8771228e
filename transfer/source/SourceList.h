// The core task thread only: the list has no lock.
#pragma once

#include <cstdint>
#include <functional>

#include "util/LL.h"

class Peer;
class SourceListEntry;
class UserMeta;

// The peers sent an upload request (opcode 84) in the last 20 minutes, whatever the file,
// with the queue rank each reported. It keeps the client from asking a peer again and
// again, and lets a source go straight to waiting in the peer's queue.
class SourceList {
public:
    // An entry is found until the clock is this far past its time.
    static constexpr int64_t VALID_MS = 1200000;

    SourceList();
    // Deletes every entry.
    ~SourceList();

    // Sends 84 for the file unless the peer was asked recently, and remembers the peer.
    void askForUpload(Peer* connection, const uint8_t fileHash[16]);
    // The first entry for the user; an expired one is deleted and null answered.
    SourceListEntry* find(UserMeta* user);
    void setValue(UserMeta* user, int value);
    SourceListEntry* findByHash(const uint8_t userHash[16]);
    void removeConnection(Peer* connection);
    void remove(UserMeta* user);
    void removeIpPort(uint32_t ip, uint16_t port);
    void removeIpServer(uint32_t serverIp, uint32_t clientId);
    void clear();
    int count() const { return entries.count(); }

private:
    SourceList(const SourceList&) = delete;
    SourceList& operator=(const SourceList&) = delete;

    typedef std::function<bool(SourceListEntry&)> Match;
    SourceListEntry* first(const Match& match);
    // Unlinks and deletes; nothing for null.
    void erase(SourceListEntry* entry);

    LL entries;  // owned
};

extern SourceList theSourceList;
