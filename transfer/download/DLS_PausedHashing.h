// Called as DLS_Hashing.
//
// A loaded download that was paused, checked by a worker: it stays paused,
// and counts as paused in its record meanwhile.
#pragma once

#include "transfer/download/DLS_Hashing.h"

class DLS_PausedHashing : public DLS_Hashing {
public:
    explicit DLS_PausedHashing(Download* download);

    bool isPaused() override;
    void hashDone() override;
};
