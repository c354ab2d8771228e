// Called on the core task thread under the asking download's lock.
//
// The maker of the downloads' peer sources (FileSource); "bcp" texts reach it through the
// base's makeFromText, other texts stay with the base.
#pragma once

#include "transfer/source/SourceMaker.h"

class PeerSourceMaker : public SourceMaker {
public:
    FileSourceInterface* makeSource(UserMeta* user, Download* download, Peer* connection) override;
};

extern PeerSourceMaker thePeerSourceMaker;
