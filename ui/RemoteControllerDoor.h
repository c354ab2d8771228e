// Core task thread only, like every door.
#pragma once

#include "net/TCPDoor.h"

class TcpipUI;

// The admin door: each accepted socket becomes a RemoteController reporting to the remote
// UI (which closes the longest-waiting stranger when too many wait to log in).
class RemoteControllerDoor : public TCPDoor {
public:
    RemoteControllerDoor(int port, TcpipUI* ui);

    Connection* createConnection(i4_socket* accepted) override;

private:
    TcpipUI* ui;
};
