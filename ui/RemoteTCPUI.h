// As TcpipUI; the server events arrive on the core task thread. install: the main thread,
// once the core and both gateways have started.
#pragma once

#include "core/ServerUI.h"
#include "ui/TcpipUI.h"

class TCPDoor;
class SocketPool;

// The remote-control UI of the client: TcpipUI with the server events, and the owner of the
// admin door that controllers connect to.
class RemoteTCPUI : public TcpipUI, public ServerUI {
public:
    // The faces active now, in the order the client installs them; none is owned.
    RemoteTCPUI(UIGateway* console, CoreUI* consoleCore, TransferUI* consoleTransfer,
                ServerUI* consoleServer);
    ~RemoteTCPUI() override;

    // Builds the remote UI in front of the active faces, points the four UI pointers at it
    // and opens the admin door on the core's socket pool. Once only: a later call answers
    // the one installed.
    static RemoteTCPUI* install();
    static RemoteTCPUI* installed();

    // The door on the configured admin port, listening directly whatever proxy is set, in
    // the pool. False, with the door's error printed, when the port cannot be listened on:
    // the client goes on without remote control.
    bool openDoor(SocketPool* pool, int port);
    TCPDoor* getDoor() const { return door; }

    void connected(const char* serverName) override;
    void disconnected() override;
    void serverListChanged() override;
    void serverStatus(uint32_t files, uint32_t users) override;
    void extendingTo(const char* serverName) override;
    // Both faces' searchResult: the record joins the results and reaches the controller.
    void searchResult(FileMeta* result) override;
    // The batch replaces the results.
    void searchResults(FileList* results, bool more) override;

    enum { DOOR_OPEN_MS = 10000 };

private:
    // A packet of the opcode and one text; false when nobody took it.
    bool sendText(uint8_t opcode, const char* text);

    ServerUI* consoleServer;
    TCPDoor* door;
};
