// Core task thread only, like GUIController.
#pragma once

#include "ui/GUIController.h"

class TcpipUI;

// A controller connection with the server commands; every other opcode is GUIController's.
//
// Incoming, after the opcode:
//   200 u32 ip, u16 port         connect to that listed server, else to any (message 2)
//   201                          disconnect (message 3)
//   213                          answered by 170
//   221 u32 ip, u16 port         forget the server
//   222 u32 ip, u16 port         add the server
//   223 u32 ip, u16 port, i8 p   preference p (-2, 0 or 2) of the listed server
// Outgoing:
//   170 u32 n, n server records  the known servers
class RemoteController : public GUIController {
public:
    RemoteController(i4_socket* accepted, TcpipUI* ui, TaskThread* tasks = nullptr);

    bool handlePacket(uint8_t opcode, i4_file* payload) override;

    enum ServerOps : uint8_t {
        IN_CONNECT_SERVER = 200,
        IN_DISCONNECT_SERVER = 201,
        IN_SERVER_LIST = 213,
        IN_REMOVE_SERVER = 221,
        IN_ADD_SERVER = 222,
        IN_SERVER_PREFERENCE = 223,
    };

    void sendServerList();
};
