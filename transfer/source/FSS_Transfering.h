// The core task thread only, like every source state.
//
// The peer granted an upload slot: up to three ranges are asked of it at a time, the
// rarest needed crumbs first, or taken over from a much slower source.
#pragma once

#include "transfer/source/PeerInterestedFSS.h"

class FSS_Transfering : public PeerInterestedFSS {
public:
    enum { IDLE_LIMIT_MS = 360000 };
    // idleMs carries the time since the last block over from a partner trial.
    explicit FSS_Transfering(FileSource* source, int idleMs = 0, int status = TRANSFERRING);
    ~FSS_Transfering() override;
    double getSpeed() override;
    void onEnter() override;
    bool openSlot() override;
    void requestBlocks() override;
    void blockDone(Peer* connection) override;
    void gotFileStatus() override;
    bool tick(int elapsedMs) override;
    bool queued(Peer* connection) override;
    void noNeededParts() override;
    bool noFile(Peer* connection) override;
    void cancel() override;
    void pause() override;
    void diskFull() override;
    void shutdown() override;
    void connectionLost() override;
    bool connectFailed(uint32_t ip, uint16_t port) override;
    void askPartner() override;

protected:
    // Takes over a range of a source at least 1.5 times slower; whether one was found.
    bool stealBlock(int slot);
    // A range that came back to the crumb map while it was asked (its crumb failed its check)
    // will not be sent again: its slot is freed.
    bool dropReturnedRanges();

    int64_t idle;
};
