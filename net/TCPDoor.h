// Core task thread only: open, the passes and the owner's slot.
#pragma once

#include <cstdint>

#include "net/ClockedConnection.h"

class i4_protocol;
class i4_socket;

// A listening socket that lives in the pool like any connection: each readable pass it
// accepts one incoming connection, lets the subclass decide whether to take it and hands
// the new connection to the pool.
class TCPDoor : public ClockedConnection {
public:
    explicit TCPDoor(int port);
    // Clears the owner's slot when it still points here.
    ~TCPDoor() override;

    // Listens on the port; false when already open, without a protocol or when listening
    // fails. The time-out matters only through a proxy.
    bool open(i4_protocol* protocol, int32_t timeoutMs);
    // Through the client's protocol.
    bool open(int32_t timeoutMs);

    bool doTask() override;
    const char* describe(i4_string& out) override;

    virtual bool acceptAllowed();
    // The new connection, which takes over the socket, or null, in which case the socket is
    // still the door's and is closed by it.
    virtual Connection* createConnection(i4_socket* accepted) = 0;

    // The owner's pointer to this door: cleared when the door takes itself out of the pool
    // (or is deleted), so the owner never reaches a deleted door.
    void setOwnerSlot(TCPDoor** slot) { ownerSlot = slot; }
    int getPort() const { return port; }

protected:
    void clearOwnerSlot();

    int port;
    TCPDoor** ownerSlot;
};
