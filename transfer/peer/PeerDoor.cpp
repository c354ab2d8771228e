#include "transfer/peer/PeerDoor.h"

#include "core/Core.h"
#include "core/CoreOptions.h"
#include "transfer/peer/Peer.h"

PeerDoor* thePeerDoor = nullptr;

PeerDoor::PeerDoor(int port) : TCPDoor(port) {
    thePeerDoor = this;
}

PeerDoor::~PeerDoor() {
    if (thePeerDoor == this) thePeerDoor = nullptr;
}

int PeerDoor::acceptLimit(int maxCon) {
    int a = maxCon + 10;
    int b = 2 * maxCon;
    return a < b ? a : b;
}

bool PeerDoor::acceptAllowed() {
    return theCore.connectionCount() < acceptLimit(theCoreOptions.maxCon);
}

Connection* PeerDoor::createConnection(i4_socket* accepted) {
    return accepted ? new Peer(accepted) : nullptr;
}
