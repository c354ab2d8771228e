// The core task thread only, like every source state.
//
// The peer's file status was asked before asking it for an upload.
#pragma once

#include "transfer/source/PeerInterestedFSS.h"

class FSS_WaitForChunksBQ : public PeerInterestedFSS {
public:
    explicit FSS_WaitForChunksBQ(FileSource* source);
    void gotFileStatus() override;
    bool noFile(Peer* connection) override;
};
