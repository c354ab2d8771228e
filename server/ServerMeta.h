// The record of one index server. No lock: used by the thread that holds it or under
// the lock of the list that holds it.
//
// Disk form (server.met; integers little-endian):
//   offset  width  field
//   0       4      ip, first octet in the lowest byte
//   4       2      port
//   6       ...    tags (Meta); special tag 13 carries the unanswered pings
// Wire form (a server's own record, the remote control's server list):
//   0       16     skipped by readers, written as zeros
//   16      4      ip
//   20      2      port
//   22      ...    tags
// Special tags 12 (ping), 13 (history) and 14 (pref) mirror the fields of the same
// names; "users", "files" (int) and "password" (string) are named tags.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"
#include "meta/Meta.h"

class ServerMeta : public Meta {
public:
    enum Preference { PREF_LOW = -2, PREF_NORMAL = 0, PREF_HIGH = 2 };
    // The tags the server's own record may not set: they are the client's own figures.
    static const char* const USERS;
    static const char* const FILES;
    static const char* const PASSWORD;

    ServerMeta();
    ServerMeta(uint32_t ip, uint16_t port);
    ~ServerMeta() override;

    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    // Stores the history field in special tag 13 first, so it survives a restart.
    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;

    // Tags and every field; nothing for null.
    void copy(ServerMeta* other);
    // A non-zero ping is an answer: it clears the unanswered count.
    void setPing(int32_t ms);
    // Anything but -2, 0 or 2 counts as 0.
    void setPreference(int32_t value);
    void setUsersFiles(uint32_t users, uint32_t files);
    // After a read: pref and history from their tags; ping, users and files start at 0.
    void applyTags();
    // Takes the tags of the record a server announced for itself, keeping what is the
    // client's own: ping, history, preference, users, files and the password.
    void takeAnnouncedTags(ServerMeta* announced);
    void computePriority();
    bool isSameAddress(ServerMeta* other);
    bool hasAddress(uint32_t ip, uint16_t port) const {
        return this->ip == ip && this->port == port;
    }
    // Parses a dotted address; false when it does not parse.
    bool setAddress(const char* dotted, uint16_t port);
    // The "Name" tag, else the dotted ip; answers out's text.
    const char* displayName(i4_string& out);

    static int32_t normalPreference(int32_t value);
    static bool priorityGreater(ServerMeta* a, ServerMeta* b);
    // The order in which servers are tried: higher priority first, null last.
    static bool comparePriority(void* a, void* b);

    int32_t ping;
    int32_t history;
    int32_t pref;
    int32_t priority;
    uint32_t ip;
    uint16_t port;
    // Milliseconds since the server was last pinged.
    int64_t age;

private:
    static bool isOwnTag(MetaTag* tag);
    bool readAddressAndTags(i4_file& f, bool fromWire);
};
