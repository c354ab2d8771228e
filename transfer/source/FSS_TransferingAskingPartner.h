// The core task thread only, like every source state.
//
// Transferring while the peer is asked for partnership (opcode 101).
#pragma once

#include "transfer/source/FSS_Transfering.h"

class FSS_TransferingAskingPartner : public FSS_Transfering {
public:
    enum { ANSWER_LIMIT_MS = 60000 };
    FSS_TransferingAskingPartner(FileSource* source, int idleMs);
    ~FSS_TransferingAskingPartner() override;
    bool tick(int elapsedMs) override;
    bool partnerAccepted(Peer* connection) override;
    bool gotPartnerRequest(Peer* connection) override;
    bool partnerDenied(Peer* connection) override;
    void partnerEnded() override;
    bool queued(Peer* connection) override;
    void noNeededParts() override;
    void pause() override;
    void connectionLost() override;
    void askPartner() override;
    double partnerScore() override;

private:
    bool registered;
    int64_t waited;
};
