// The core task thread (the door's passes); made and opened by the transfer side's start.
#pragma once

#include "net/TCPDoor.h"

// The listening socket on the door port: each accepted socket becomes a Peer that stays open
// without references, while the client holds fewer connections than the limit.
class PeerDoor : public TCPDoor {
public:
    // Becomes thePeerDoor.
    explicit PeerDoor(int port);
    // Forgets thePeerDoor when it is this one.
    ~PeerDoor() override;

    // True while the socket pool holds fewer than min("maxCon" + 10, 2 x "maxCon")
    // connections (the door and every other connection included).
    bool acceptAllowed() override;
    Connection* createConnection(i4_socket* accepted) override;

    static int acceptLimit(int maxCon);
};

// The open door, or null.
extern PeerDoor* thePeerDoor;
