// Called by its download under the download's lock; hashDone also from the
// worker that checked the data (which holds the lock for it).
//
// A loaded download whose data a worker is checking; it cannot be cancelled
// meanwhile.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_Hashing : public DownloadState {
public:
    enum { STATUS = 8 };
    explicit DLS_Hashing(Download* download);

    // Refused with string 19.
    void cancel() override;
    // Complete data finishes; anything else is queued.
    void hashDone() override;
    bool setHighest() override;
};
