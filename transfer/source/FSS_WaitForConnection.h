// The core task thread only, like every source state.
//
// A connect or a callback to the peer is under way.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_WaitForConnection : public FileSourceState {
public:
    enum { LIMIT_MS = 240000 };
    explicit FSS_WaitForConnection(FileSource* source);
    bool tick(int elapsedMs) override;
    bool callbackFailed(uint32_t serverIp, uint32_t clientId) override;

private:
    int64_t waited;
};
