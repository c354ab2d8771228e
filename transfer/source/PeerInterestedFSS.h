// The core task thread only, like every source state.
//
// The base of the states that use the source's connection: it holds one reference to the
// connection while the state lasts (taken at creation, or when a connection arrives later)
// and gives it back at the end unless the connection was lost meanwhile.
#pragma once

#include "transfer/source/FileSourceState.h"

class PeerInterestedFSS : public FileSourceState {
public:
    PeerInterestedFSS(FileSource* source, int status);
    ~PeerInterestedFSS() override;

    void refPeer(Peer* connection) override;
    void newPeer(Peer* connection) override;

protected:
    void hold(Peer* connection);

private:
    Peer* held;
};
