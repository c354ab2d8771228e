#include "ui/RemoteControllerDoor.h"

#include "ui/RemoteController.h"
#include "ui/TcpipUI.h"

RemoteControllerDoor::RemoteControllerDoor(int port, TcpipUI* remoteUI)
    : TCPDoor(port), ui(remoteUI) {}

// Nobody is asked for anything before the login: connections beyond the few that may wait
// for theirs are closed at once.
bool RemoteControllerDoor::acceptAllowed() {
    return ui->mayWaitForLogin();
}

Connection* RemoteControllerDoor::createConnection(i4_socket* accepted) {
    return new RemoteController(accepted, ui);
}
