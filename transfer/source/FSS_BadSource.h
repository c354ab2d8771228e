// The core task thread only, like every source state.
//
// Given up: the download deletes the source at its next tick.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_BadSource : public FileSourceState {
public:
    explicit FSS_BadSource(FileSource* source);
    bool tick(int elapsedMs) override;
    bool openSlot() override;
    void connectionLost() override;
    double partnerScore() override;
};
