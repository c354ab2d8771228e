// Called by its download under the download's lock; no lock of its own.
//
// The behaviour of a download in one state. The download replaces its state
// on each transition, deleting the old one: a state that replaces itself
// touches none of its own members afterwards. The status id is also the
// string-table id of the state's text.
#pragma once

#include <stdint.h>

class Download;
class Peer;

class DownloadState {
public:
    DownloadState(Download* download, int status);
    virtual ~DownloadState();

    // min(file size, one part).
    virtual int getReserveSize();
    virtual int getSpaceNeeded();
    virtual bool isPaused();
    virtual void tick(int elapsedMs);
    virtual void pause();
    virtual void resume();
    // Deletes the files, ends the download (message 11) and becomes done.
    virtual void cancel();
    virtual void diskFull();
    virtual int spaceAvailable();
    virtual void hashDone();
    // end - start bytes of the file at data, received from the connection.
    virtual void gotData(uint32_t start, uint32_t end, const uint8_t* data, Peer* connection);
    virtual bool openSlot(Peer* connection);
    virtual void gotFileName(const char* name, Peer* connection);
    // Becomes the highest download.
    virtual bool setHighest();
    virtual void partnerAccepted(Peer* connection);
    virtual void partnerDenied(Peer* connection);
    virtual void callbackFailed(uint32_t serverIp, uint32_t clientId);
    virtual void connectFailed(uint32_t ip, uint16_t port);
    // Whether this is the highest download's state.
    virtual bool isHighest() const { return false; }

    int getStatus() const { return status; }

protected:
    int status;
    Download* download;
};
