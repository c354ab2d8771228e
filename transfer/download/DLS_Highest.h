// Called by its download under the download's lock.
//
// The one download that may take partners: downloading, and looking for the
// best partner among its sources while the partner manager has room.
#pragma once

#include "transfer/download/DLS_Downloading.h"

class DLS_Highest : public DLS_Downloading {
public:
    // The download's priority becomes 3.
    explicit DLS_Highest(Download* download);
    // Priority 2 again, and a rerank asked for.
    ~DLS_Highest() override;

    bool setHighest() override;
    void tick(int elapsedMs) override;
    void partnerAccepted(Peer* connection) override;
    void partnerDenied(Peer* connection) override;
    bool isHighest() const override { return true; }
};
