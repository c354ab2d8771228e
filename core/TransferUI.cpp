#include "core/TransferUI.h"

#include "core/UIGateway.h"
#include "core/XMLStringTable.h"

namespace {

// The door's port when nothing better is known: the setting's default.
int defaultDoorPort() {
    return 4662;
}

TransferUI::DoorPortSource doorPortSource = defaultDoorPort;
TransferUI builtInTransferUI;

}  // namespace

TransferUI* theTransferUI = &builtInTransferUI;

void TransferUI::setDoorPortSource(DoorPortSource source) {
    doorPortSource = source ? source : defaultDoorPort;
}

int TransferUI::configuredDoorPort() {
    return doorPortSource();
}

void TransferUI::errorCantStartDoor() {
    i4_string cantListen("ERROR: can't listen on port");
    theXMLStringTable.localize("cantListenOnPort", cantListen);
    theUI->printLine("%s %d.", cantListen.c_str(), configuredDoorPort());
    i4_string advice("Port is probably in use.\nChange port by typing: 'port ####' at the prompt.");
    theXMLStringTable.localize("errorCantStartDoor", advice);
    theUI->printLine("%s", advice.c_str());
}

void TransferUI::downloadChanged(Download*) {}
void TransferUI::downloadRemoved(Download*) {}
void TransferUI::uploadSlotRemoved(UploadSlot*) {}
void TransferUI::uploadSlotChanged(UploadSlot*) {}
void TransferUI::friendsChanged() {}
void TransferUI::peerConnected(UserMeta*) {}
void TransferUI::peerDisconnected(UserMeta*, uint64_t, uint64_t) {}
void TransferUI::friendFileList(UserMeta*, const char*) {}
void TransferUI::friendDirList(UserMeta*) {}
void TransferUI::fileListRefused(UserMeta*) {}
void TransferUI::transferNotice() {}
void TransferUI::hashingStatus(const char*) {}
void TransferUI::shareListChanged() {}
void TransferUI::sharedFileChanged(FileMeta*) {}
void TransferUI::sharedFileRemoved(FileMeta*) {}
void TransferUI::chatMessage(MessageSession*, const char*) {}
void TransferUI::chatSessionChanged(MessageSession*) {}
LLsafe* TransferUI::getDownloadList() {
    return nullptr;
}
