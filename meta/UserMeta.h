// The record of one client on the network: tags (name in special tag 1, version in
// special tag 17), address, port, the index server behind which a low-id client is
// reached, and the user hash. No lock: used by the thread that holds it or under the
// lock of the list that holds it.
//
// Disk form (pref.met, friend.met, uploadq.dat; integers little-endian):
//   offset  width  field
//   0       4      ip; 0 when the ip is a low id
//   4       2      port; 0 when the ip is a low id
//   6       16     user hash
//   22      ...    tags (Meta)
// Wire form (login, peer hello, remote control):
//   0       16     user hash
//   16      4      ip (a low id unchanged)
//   20      2      port
//   22      ...    tags
#pragma once

#include <stdint.h>

#include "meta/Meta.h"

class UserMeta : public Meta {
public:
    // An ip below this is a client id given by an index server, not an address.
    static const uint32_t LOW_ID_LIMIT = 0x1000000;
    static bool isLowId(uint32_t ip) { return ip < LOW_ID_LIMIT; }

    UserMeta();
    UserMeta(UserMeta& other);
    ~UserMeta() override;

    bool toNetwork(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;

    // Tags and every field; nothing for null.
    void copy(UserMeta* other);
    bool isSameUser(UserMeta* other);
    void print(MetaOutput* out = nullptr);

    uint32_t ip;
    uint32_t serverIp;
    uint16_t port;
    uint16_t serverPort;
    uint8_t hash[16];
    // 1 when this user's hello carried a correct checksum trailer; travels with copies.
    int trailerValid;
    uint32_t friendStatus;
};
