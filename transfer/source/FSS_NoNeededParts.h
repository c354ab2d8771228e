// The core task thread only, like every source state.
//
// The peer has nothing the download still needs, as far as its last file status tells.
#pragma once

#include "transfer/source/FileSourceState.h"

class FSS_NoNeededParts : public FileSourceState {
public:
    // How often a source without needed parts looks for ranges that another source gave
    // back: what it has may be needed again once that source left.
    enum { LOOK_EVERY_MS = 1000 };

    explicit FSS_NoNeededParts(FileSource* source);
    bool tick(int elapsedMs) override;
    void gotFileStatus() override;
    bool partnerAccepted(Peer* connection) override;
    bool openSlot() override;
    void connectionLost() override;

private:
    int sinceLook;
};
