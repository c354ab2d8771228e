// Finds sources for one download through the server side. Owned by its download
// and used on the core task thread only.
#pragma once

#include <stdint.h>

class DownloadSources {
public:
    virtual ~DownloadSources();
    // Asks for sources of the file with this 16-byte hash; the implementation
    // decides how often it really asks.
    virtual void findSources(const uint8_t* fileHash) = 0;
    // Advances the object's clock by the elapsed milliseconds.
    virtual void tick(int64_t elapsedMs);
    // The download ended (cancelled or completed): the requests still pending for the file
    // are forgotten, so a new download of it asks as any new download does.
    virtual void forgetRequests(const uint8_t* fileHash);
    virtual void hook();
};
