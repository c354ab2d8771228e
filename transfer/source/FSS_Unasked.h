// The core task thread only, like every source state.
//
// Not yet asked: the download's walk for a source to connect to starts here.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_Unasked : public FileSourceState {
public:
    explicit FSS_Unasked(FileSource* source);
    bool tryConnect() override;
    void placeInQueue(Peer* connection, int rank) override;
    void connectionLost() override;
};
