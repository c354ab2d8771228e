// Owned by one download and used on the core task thread only.
#pragma once

#include <cstdint>

#include "core/DownloadSources.h"

class ServerGateway;

// Asks the servers for sources of one download, at most once every 7001 ms: each
// request goes to the next server of the list that has none pending for the file.
class ServerDownloadSources : public DownloadSources {
public:
    static const int64_t MIN_SPACING_MS = 7001;

    explicit ServerDownloadSources(ServerGateway& gateway);

    // Too soon after the last request: nothing. Otherwise the clock restarts, even when
    // no server can be asked.
    void findSources(const uint8_t* fileHash) override;
    void tick(int64_t elapsedMs) override;
    void forgetRequests(const uint8_t* fileHash) override;

private:
    ServerGateway& gateway;
    int64_t elapsed;
};
