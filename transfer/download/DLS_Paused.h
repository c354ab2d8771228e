// Called by its download under the download's lock.
//
// Paused by the user: nothing happens until it is resumed.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_Paused : public DownloadState {
public:
    enum { STATUS = 4 };
    explicit DLS_Paused(Download* download);

    bool isPaused() override;
    void resume() override;
    bool setHighest() override;
};
