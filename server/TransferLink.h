// The transfer side's entry points that the server side calls, all in one place. Every
// call comes from the core task thread. A body that does nothing (answers "none", "not
// done") stands for a part of the transfer side not built yet: the issue that builds it
// replaces the body in TransferLink.cpp with the real call named beside it. Tests put a
// recording subclass in theTransferLink.
#pragma once

#include <stdint.h>

class Download;
class FileList;
class Peer;
class TCPPacket;
class UserMeta;
class i4_file;

class TransferLink {
public:
    virtual ~TransferLink();

    // DLPool::findByHash: the download of the file with a reference added, or null.
    virtual Download* findDownload(const uint8_t fileHash[16]);
    // Download::addSource (user, no peer); the record stays the caller's.
    virtual void addSource(Download* download, UserMeta* user);
    // Releases the reference that findDownload added.
    virtual void releaseDownload(Download* download);

    // A server could not pass a callback request on to the low-id client `id`:
    // DLPool::callbackFailed, FriendList::callbackFailed, UploadPool::callbackFailed.
    virtual void downloadCallbackFailed(uint32_t serverIp, uint32_t id);
    virtual void friendCallbackFailed(uint32_t serverIp, uint32_t id);
    virtual void uploadCallbackFailed(uint32_t serverIp, uint32_t id);

    // ClientPool::connect (user, out connection, stay open): 0 already connected (the
    // connection in *existing), 1 under way, 2 both low-id, 3 refused, 4 no room.
    virtual int connectPeer(UserMeta* user, Peer** existing);
    // Peer::sendIdChange on an open peer connection.
    virtual void sendIdChange(Peer* peer);
    // ClientPool::broadcast: a copy on every open peer connection; takes the packet.
    virtual void broadcast(TCPPacket* packet);

    // The shared-file list, locked by the caller while walked.
    virtual FileList* sharedFiles();
    // The hashing thread's pass-done flag: the shared list is complete.
    virtual bool sharedPassDone();

    // Reads a server's answer to a source request (16-byte file hash, u8 n, n x (u32 id,
    // u16 port)) and adds each entry as a source of that file's download, reached
    // through the given server when its id is low. Nothing for a file not downloaded;
    // no source at all when the count passes the bytes at hand. A short answer throws
    // the read error, with the download's reference released.
    void addFoundSources(i4_file& f, uint32_t serverIp, uint16_t serverPort);
};

// Never null.
extern TransferLink* theTransferLink;
