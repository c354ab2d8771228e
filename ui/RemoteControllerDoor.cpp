#include "ui/RemoteControllerDoor.h"

#include "ui/RemoteController.h"
#include "ui/TcpipUI.h"

RemoteControllerDoor::RemoteControllerDoor(int port, TcpipUI* remoteUI)
    : TCPDoor(port), ui(remoteUI) {}

Connection* RemoteControllerDoor::createConnection(i4_socket* accepted) {
    return new RemoteController(accepted, ui);
}
