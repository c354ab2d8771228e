// The core task thread only, like every source state.
//
// Transferring stopped to ask the peer's file status again.
#pragma once

#include "transfer/source/PeerInterestedFSS.h"

class FSS_WaitForChunks : public PeerInterestedFSS {
public:
    explicit FSS_WaitForChunks(FileSource* source);
    void gotFileStatus() override;
    bool queued(Peer* connection) override;
    bool noFile(Peer* connection) override;
    void cancel() override;
    void shutdown() override;
};
