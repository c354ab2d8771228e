// The core task thread only, like every source state.
//
// A partnership on trial for a minute; then the partner manager decides whether it lasts.
#pragma once

#include "transfer/source/FSS_Partner.h"

class FSS_TestPartner : public FSS_Partner {
public:
    enum { TRIAL_MS = 60000 };
    explicit FSS_TestPartner(FileSource* source);
    bool tick(int elapsedMs) override;

private:
    int64_t waited;
};
