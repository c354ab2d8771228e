// Called by its download under the download's lock.
//
// Waiting for the space check to find room on the disks again.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_DiskFull : public DownloadState {
public:
    enum { STATUS = 5 };
    explicit DLS_DiskFull(Download* download);

    void pause() override;
    // Queued again; answers the space it needs.
    int spaceAvailable() override;
    bool setHighest() override;
};
