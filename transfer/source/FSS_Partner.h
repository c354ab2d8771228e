// The core task thread only, like every source state.
//
// A lasting partnership: weight 10 in the crumb map and no idle limit.
#pragma once

#include "transfer/source/FSS_Transfering.h"

class FSS_Partner : public FSS_Transfering {
public:
    enum { WEIGHT = 10, ENDED_COOL_DOWN_MS = 600000 };
    explicit FSS_Partner(FileSource* source, int status = PARTNER);
    ~FSS_Partner() override;
    int getWeight() override;
    void onEnter() override;
    bool tick(int elapsedMs) override;
    bool noFile(Peer* connection) override;
    void partnerEnded() override;
    bool gotPartnerRequest(Peer* connection) override;
    void noNeededParts() override;
    void pause() override;
    void connectionLost() override;
    void askPartner() override;
    double partnerScore() override;

protected:
    bool registered;
};
