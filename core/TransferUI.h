// Events of the transfer side: downloads, uploads, sharing, friends and chat.
// Called on the core task thread, and by the hashing thread for hashingStatus
// and shareListChanged. The default bodies do nothing unless noted.
#pragma once

#include <cstdint>

class Download;
class UploadSlot;
class UserMeta;
class FileMeta;
class MessageSession;
class LLsafe;

class TransferUI {
public:
    virtual ~TransferUI() {}
    // Prints the "can't listen on port" message with the configured door port.
    virtual void errorCantStartDoor();
    virtual void downloadChanged(Download* download);
    virtual void downloadRemoved(Download* download);
    virtual void uploadSlotRemoved(UploadSlot* slot);
    virtual void uploadSlotChanged(UploadSlot* slot);
    virtual void friendsChanged();
    virtual void peerConnected(UserMeta* peer);
    virtual void peerDisconnected(UserMeta* peer, uint64_t sent, uint64_t received);
    virtual void friendFileList(UserMeta* friendUser, const char* dirName);
    virtual void friendDirList(UserMeta* friendUser);
    virtual void fileListRefused(UserMeta* peer);
    virtual void transferNotice();
    virtual void hashingStatus(const char* status);
    virtual void shareListChanged();
    virtual void sharedFileChanged(FileMeta* file);
    virtual void sharedFileRemoved(FileMeta* file);
    virtual void chatMessage(MessageSession* session, const char* text);
    virtual void chatSessionChanged(MessageSession* session);
    // The download pool's list; null by default.
    virtual LLsafe* getDownloadList();

    // The peer door's port that errorCantStartDoor names. The transfer options
    // own the setting and point this at their getter when they are set up.
    typedef int (*DoorPortSource)();
    static void setDoorPortSource(DoorPortSource source);
    static int configuredDoorPort();
};

extern TransferUI* theTransferUI;
