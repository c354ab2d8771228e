#include "ui/RemoteTCPUI.h"

#include <memory>

#include "core/Core.h"
#include "core/XMLStringTable.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/net/i4_tcpip_protocol.h"
#include "meta/FileList.h"
#include "meta/FileMeta.h"
#include "net/STSocketPool.h"
#include "net/TCPPacket.h"
#include "ui/AdminSettings.h"
#include "ui/GUIController.h"
#include "ui/RemoteControllerDoor.h"

namespace {

RemoteTCPUI* theRemoteUI = nullptr;

// Controllers connect from outside whatever proxy the client's own connections go through:
// the admin door listens on a protocol of its own, always direct.
i4_protocol* directProtocol() {
    static std::unique_ptr<i4_protocol> direct(i4_create_tcpip_protocol(nullptr));
    return direct.get();
}

}  // namespace

RemoteTCPUI::RemoteTCPUI(UIGateway* consoleUI, CoreUI*, TransferUI* consoleTransfer,
                         ServerUI* consoleServerUI)
    : TcpipUI(consoleUI, consoleTransfer), consoleServer(consoleServerUI), door(nullptr) {}

RemoteTCPUI::~RemoteTCPUI() {
    if (theRemoteUI == this) theRemoteUI = nullptr;
}

RemoteTCPUI* RemoteTCPUI::install() {
    if (theRemoteUI) return theRemoteUI;
    RemoteTCPUI* remote = new RemoteTCPUI(theUI, theCoreUI, theTransferUI, theServerUI);
    theRemoteUI = remote;
    theUI = remote;
    theCoreUI = remote;
    theTransferUI = remote;
    theServerUI = remote;
    remote->openDoor(theCore.socketPool, theAdminSettings.getDoorPort());
    return remote;
}

RemoteTCPUI* RemoteTCPUI::installed() {
    return theRemoteUI;
}

bool RemoteTCPUI::openDoor(SocketPool* pool, int port) {
    if (door || !pool) return false;
    RemoteControllerDoor* made = new RemoteControllerDoor(port, this);
    if (!made->open(directProtocol(), DOOR_OPEN_MS)) {
        delete made;
        i4_string cantListen =
            theXMLStringTable.localized("cantListenOnPort", "ERROR: can't listen on port");
        theUI->printLine("%s %d.", cantListen.c_str(), port);
        theUI->printLine("%s", theXMLStringTable
                                   .localized("errorCantStartAdminDoor",
                                              "No remote control: the port is probably in use.\n"
                                              "Change it by typing: 'aport ####' at the prompt.")
                                   .c_str());
        return false;
    }
    door = made;
    // The pool deletes the door; the slot is cleared then.
    door->setOwnerSlot(&door);
    pool->add(made);
    return true;
}

bool RemoteTCPUI::sendText(uint8_t opcode, const char* text) {
    return hasController() && sendToController(textPacket(opcode, text ? text : ""));
}

void RemoteTCPUI::connected(const char* serverName) {
    if (!sendText(GUIController::OUT_CONNECTED, serverName)) consoleServer->connected(serverName);
}

void RemoteTCPUI::disconnected() {
    if (hasController() && sendToController(GUIController::finish(
                               GUIController::startPacket(GUIController::OUT_DISCONNECTED))))
        return;
    consoleServer->disconnected();
}

// Neither the controller nor the console shows the list as it changes.
void RemoteTCPUI::serverListChanged() {}

void RemoteTCPUI::serverStatus(uint32_t files, uint32_t users) {
    if (hasController()) {
        // 184: u32 files, u32 users.
        TCPPacket* p = GUIController::startPacket(GUIController::OUT_SERVER_STATUS, 8);
        i4_field_writer out(p->file());
        out.u32(files);
        out.u32(users);
        if (sendToController(GUIController::finish(p))) return;
    }
    consoleServer->serverStatus(files, users);
}

void RemoteTCPUI::extendingTo(const char* serverName) {
    if (!sendText(GUIController::OUT_EXTENDING, serverName)) consoleServer->extendingTo(serverName);
}

void RemoteTCPUI::searchResult(FileMeta* result) {
    if (!result) return;
    if (!hasController()) {
        consoleServer->searchResult(result);
        return;
    }
    // 186: the record's wire form.
    TCPPacket* p = GUIController::startPacket(GUIController::OUT_RESULT, result->size());
    if (result->toNetwork(p->file()))
        sendToController(GUIController::finish(p));
    else
        delete p;
    results.add(result);
}

void RemoteTCPUI::searchResults(FileList* batch, bool more) {
    if (!batch) return;
    if (!hasController()) {
        consoleServer->searchResults(batch, more);
        return;
    }
    // 187: the list's wire form, u8 more.
    TCPPacket* p = GUIController::startPacket(GUIController::OUT_RESULTS, batch->size() + 1);
    if (batch->toNetwork(p->file())) {
        i4_field_writer(p->file()).u8(more ? 1 : 0);
        sendToController(GUIController::finish(p));
    } else {
        delete p;
    }
    results.deleteAll();
    results.appendAll(batch);
    delete batch;  // the list object only: its records now belong to the results
}
