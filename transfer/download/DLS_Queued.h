// Called by its download under the download's lock.
//
// Waiting for the download pool's gate to let it look for sources.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_Queued : public DownloadState {
public:
    enum { STATUS = 1 };
    explicit DLS_Queued(Download* download);

    int getSpaceNeeded() override;
    // Downloads once the gate opens; a download with nothing left to fetch
    // completes instead.
    void tick(int elapsedMs) override;
    void pause() override;
    void diskFull() override;
};
