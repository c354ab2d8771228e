#include "ui/TcpipUI.h"

#include <cstdarg>
#include <cstring>
#include <string>

#include "i4min/file/i4_field_writer.h"
#include "i4min/threads/linux/i4_lock.h"
#include "meta/FileMeta.h"
#include "net/TCPPacket.h"
#include "transfer/download/Download.h"
#include "transfer/peer/PeerFrame.h"
#include "ui/GUIController.h"

TcpipUI::TcpipUI(UIGateway* consoleUI, TransferUI* nextTransferUI)
    : console(consoleUI), nextTransfer(nextTransferUI), controller(nullptr), attached(false) {
    verbose = console->isVerbose();
    setLogFile(console->getLogFile().c_str());
}

TcpipUI::~TcpipUI() {
    results.deleteAll();
}

bool TcpipUI::attachController(GUIController* c) {
    i4_lock hold(&controllerLock);
    if (controller || !c) return false;
    controller = c;
    attached = true;
    return true;
}

void TcpipUI::detachController(GUIController* c) {
    i4_lock hold(&controllerLock);
    if (controller != c || !c) return;
    controller = nullptr;
    attached = false;
}

void TcpipUI::loginWaitStarted(GUIController* waiter) {
    i4_lock hold(&waitLock);
    if (waiting.size() >= MAX_WAITING_LOGINS) {
        // Only a flag: it goes at its next pass, unread.
        waiting.front()->closeNow();
        waiting.pop_front();
    }
    waiting.push_back(waiter);
}

void TcpipUI::loginWaitEnded(GUIController* waiter) {
    i4_lock hold(&waitLock);
    for (auto at = waiting.begin(); at != waiting.end(); ++at) {
        if (*at == waiter) {
            waiting.erase(at);
            return;
        }
    }
}

int TcpipUI::waitingForLogin() {
    i4_lock hold(&waitLock);
    return (int)waiting.size();
}

bool TcpipUI::sendToController(TCPPacket* packet) {
    {
        i4_lock hold(&controllerLock);
        if (controller) {
            // Sending only queues the packet: the controller's reader may be slow or gone
            // quiet, and the client's printing must not pile up in memory for it.
            if (controller->queuedPackets() >= MAX_QUEUED_PACKETS) {
                controller->closeNow();
            } else {
                controller->send(packet);
                return true;
            }
        }
    }
    delete packet;
    return false;
}

TCPPacket* TcpipUI::textPacket(uint8_t opcode, const char* text) {
    // A controller shows these as its console lines: masked like the terminal's.
    std::string shown;
    if (text && i4_mask_controls(text, (int)strlen(text), true, shown)) text = shown.c_str();
    i4_string cut(text);
    cutText(cut, PACKET_TEXT_ROOM);
    TCPPacket* p = GUIController::startPacket(opcode, 2 + cut.length());
    PeerFrame::writeString(p->file(), cut.c_str());
    return GUIController::finish(p);
}

FileMeta* TcpipUI::copyResult(const uint8_t hash[16]) {
    i4_lock hold(&results);
    FileMeta* found = results.findByHashNoLock(hash);
    return found ? new FileMeta(*found) : nullptr;
}

void TcpipUI::setVerbose(bool on) {
    verbose = on;
    console->setVerbose(on);
}

void TcpipUI::printLine(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);
    if (hasController()) sendToController(textPacket(GUIController::OUT_LINE, text.c_str()));
    console->printLine("%s", text.c_str());
}

void TcpipUI::print(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);
    // Text without a line end is a command's answer to whoever gave it: the controller when
    // one is attached.
    if (hasController() && sendToController(textPacket(GUIController::OUT_TEXT, text.c_str())))
        return;
    console->print("%s", text.c_str());
}

void TcpipUI::debug(const char* format, ...) {
    if (!console->isVerbose()) return;
    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);
    console->debug("%s", text.c_str());
}

void TcpipUI::printFlush(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);
    console->printFlush("%s", text.c_str());
}

void TcpipUI::downloadChanged(Download* download) {
    if (download && hasController())
        sendToController(GUIController::downloadPacket(download, downloadIds.handleFor(download)));
    nextTransfer->downloadChanged(download);
}

void TcpipUI::downloadRemoved(Download* download) {
    if (download && hasController()) {
        // 189: the file hash.
        TCPPacket* p = GUIController::startPacket(GUIController::OUT_DOWNLOAD_REMOVED, 16);
        i4_field_writer(p->file()).bytes(download->getFileId(), 16);
        sendToController(GUIController::finish(p));
    }
    nextTransfer->downloadRemoved(download);
    downloadIds.forget(download);
}

void TcpipUI::uploadSlotRemoved(UploadSlot* slot) {
    bool sent = false;
    if (hasController()) {
        // 193: u32 slot handle.
        TCPPacket* p = GUIController::startPacket(GUIController::OUT_SLOT_REMOVED, 4);
        i4_field_writer(p->file()).u32(slotIds.handleFor(slot));
        sent = sendToController(GUIController::finish(p));
    }
    if (!sent) nextTransfer->uploadSlotRemoved(slot);
    slotIds.forget(slot);
}

void TcpipUI::uploadSlotChanged(UploadSlot* slot) {
    if (slot && hasController())
        sendToController(GUIController::slotPacket(slot, slotIds.handleFor(slot)));
    nextTransfer->uploadSlotChanged(slot);
}

void TcpipUI::hashingStatus(const char* status) {
    if (hasController() &&
        sendToController(textPacket(GUIController::OUT_HASHING, status ? status : "")))
        return;
    nextTransfer->hashingStatus(status);
}

void TcpipUI::friendsChanged() {
    if (hasController() && sendToController(GUIController::finish(
                               GUIController::startPacket(GUIController::OUT_FRIENDS_CHANGED))))
        return;
    nextTransfer->friendsChanged();
}

LLsafe* TcpipUI::getDownloadList() {
    return nextTransfer->getDownloadList();
}
