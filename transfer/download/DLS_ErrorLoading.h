// Called by its download under the download's lock.
//
// A loaded download whose data could not be opened: listed, idle, cancellable.
#pragma once

#include "transfer/download/DownloadState.h"

class DLS_ErrorLoading : public DownloadState {
public:
    enum { STATUS = 9 };
    explicit DLS_ErrorLoading(Download* download);

    bool setHighest() override;
};
