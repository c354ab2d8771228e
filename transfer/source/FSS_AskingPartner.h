// The core task thread only, like every source state.
//
// The peer is asked for partnership (opcode 101), connecting first when needed.
#pragma once

#include "transfer/source/PeerInterestedFSS.h"

class FSS_AskingPartner : public PeerInterestedFSS {
public:
    enum { ANSWER_LIMIT_MS = 60000, CONNECT_LIMIT_MS = 240000 };
    explicit FSS_AskingPartner(FileSource* source);
    ~FSS_AskingPartner() override;
    void newPeer(Peer* connection) override;
    bool tick(int elapsedMs) override;
    bool partnerAccepted(Peer* connection) override;
    bool partnerDenied(Peer* connection) override;
    void partnerEnded() override;
    bool openSlot() override;
    bool callbackFailed(uint32_t serverIp, uint32_t clientId) override;
    void pause() override;
    void connectionLost() override;
    void noNeededParts() override;
    void askPartner() override;
    double partnerScore() override;

private:
    bool registered;
    int64_t waited;
};
