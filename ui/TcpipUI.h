// The printing faces and hashingStatus: any thread (the hashing thread prints and reports).
// attach, detach, the other events and the results: the core task thread. `controllerLock`
// guards the attached controller: attach, detach and every send to it hold it, so a printing
// thread never sends through a controller that the core task thread is destroying; nothing
// else is done under it. The results list has its own lock and is touched on the core task
// thread only.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>

#include "core/CoreUI.h"
#include "core/TransferUI.h"
#include "core/UIGateway.h"
#include "meta/FileList.h"
#include "ui/HandleTable.h"

class FileMeta;
class GUIController;
class TCPPacket;

// The remote-control face of the UI interfaces, in front of the console's. While no
// controller is attached everything passes on to the console, which behaves as without it;
// while one is attached, prints and events become packets to it, and some of them still
// reach the console.
class TcpipUI : public UIGateway, public CoreUI, public TransferUI {
public:
    // Neither is owned. The verbose flag and the log path are copied from the console.
    TcpipUI(UIGateway* console, TransferUI* nextTransferUI);
    ~TcpipUI() override;

    // True when no controller was attached: this one is from now on.
    bool attachController(GUIController* controller);
    // Only the attached controller is detached; any other changes nothing.
    void detachController(GUIController* controller);
    bool hasController() const { return attached.load(); }
    // To the attached controller; without one the packet is freed. False when not sent.
    bool sendToController(TCPPacket* packet);

    // A copy of the result with that file hash, or null.
    FileMeta* copyResult(const uint8_t hash[16]);
    FileList& getResults() { return results; }

    // Connections that have not logged in yet. At most MAX_WAITING_LOGINS wait at once; a
    // new one closes the one that has waited longest, so silent connections re-opened as
    // they drop cannot keep out a controller that sends its login at once.
    void loginWaitStarted(GUIController* waiter);
    // Any number of times; a connection that no longer waits changes nothing.
    void loginWaitEnded(GUIController* waiter);
    int waitingForLogin();

    HandleTable& downloadHandles() { return downloadIds; }
    HandleTable& slotHandles() { return slotIds; }
    UIGateway* getConsole() const { return console; }

    // UIGateway. The text reaches the console as data, never formatted again.
    void setVerbose(bool on) override;
    void printLine(const char* format, ...) override;
    void print(const char* format, ...) override;
    void debug(const char* format, ...) override;
    void printFlush(const char* format, ...) override;

    // TransferUI.
    void downloadChanged(Download* download) override;
    void downloadRemoved(Download* download) override;
    void uploadSlotRemoved(UploadSlot* slot) override;
    void uploadSlotChanged(UploadSlot* slot) override;
    void hashingStatus(const char* status) override;
    void friendsChanged() override;
    // The next TransferUI's answer.
    LLsafe* getDownloadList() override;

    // What the controller is sent of a printed text, at most this many bytes.
    enum { PACKET_TEXT_ROOM = 1023, MAX_WAITING_LOGINS = 8 };
    // A controller that lets this many packets pile up unread is dropped.
    enum { MAX_QUEUED_PACKETS = 20000 };

protected:
    // A packet of the opcode and one text, cut to the room.
    static TCPPacket* textPacket(uint8_t opcode, const char* text);

    UIGateway* console;
    TransferUI* nextTransfer;
    FileList results;

private:
    TcpipUI(const TcpipUI&) = delete;
    TcpipUI& operator=(const TcpipUI&) = delete;

    std::mutex controllerLock;
    GUIController* controller;
    // Read without the lock to spare a printing thread the packet when nobody is attached.
    std::atomic<bool> attached;
    std::mutex waitLock;
    std::deque<GUIController*> waiting;  // oldest first
    HandleTable downloadIds;
    HandleTable slotIds;
};
