// The core task thread only, like every source state.
//
// Waiting in the peer's upload queue. The connection is kept (with a reference) only until
// the peer tells the place in its queue.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_OnQueue : public FileSourceState {
public:
    enum { LIMIT_MS = 900000, TRUSTED_LIMIT_MS = 43200000 };
    explicit FSS_OnQueue(FileSource* source);
    ~FSS_OnQueue() override;
    void placeInQueue(Peer* connection, int rank) override;
    bool tick(int elapsedMs) override;
    void pause() override;
    bool tryConnect() override;
    void connectionLost() override;

private:
    int64_t waited;
    Peer* kept;
};
