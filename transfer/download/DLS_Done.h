// Called by its download under the download's lock.
//
// The download is over, or being completed: done (cancelled), completing,
// complete or corrupted, each its own status. It waits for message 11 to
// take it out of the pool.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_Done : public DownloadState {
public:
    enum { DONE = 7, COMPLETING = 10, COMPLETE = 11, CORRUPTED = 12 };
    explicit DLS_Done(Download* download, int status = DONE);

    void cancel() override;
    bool setHighest() override;
};
