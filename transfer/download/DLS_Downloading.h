// Called by its download under the download's lock.
//
// A running download: samples its speed, asks its sources to connect or the
// servers for more sources while the pool's gate is open, and asks its sources
// for hash sets until it has them.
#pragma once

#include <stdint.h>

#include "transfer/download/DownloadState.h"

class DLS_Downloading : public DownloadState {
public:
    enum { STATUS = 2, SAMPLES = 8, SAMPLE_MS = 2000, HASH_POLL_MS = 60000, HASH_RETRY_MS = 10000 };
    // A download this small that runs at this speed (bytes per ms) looks for no more sources.
    static constexpr uint32_t SMALL_FILE = 737280;
    static constexpr double SMALL_FILE_SPEED = 1.0;

    explicit DLS_Downloading(Download* download);

    int getSpaceNeeded() override;
    void tick(int elapsedMs) override;
    void pause() override;
    void diskFull() override;
    void gotData(uint32_t start, uint32_t end, const uint8_t* data, Peer* connection) override;
    bool openSlot(Peer* connection) override;
    void gotFileName(const char* name, Peer* connection) override;
    void callbackFailed(uint32_t serverIp, uint32_t clientId) override;
    void connectFailed(uint32_t ip, uint16_t port) override;

protected:
    void sampleSpeed(int elapsedMs);
    void findSources();
    void pollHashes(int elapsedMs);

    int hashPollTimer;
    int sampleTime;
    double samples[SAMPLES];
    // The bytes kept at the last sample, whole: no sample jumps by 2^32.
    int64_t lastTransferred;
    int sampleIndex;
};
