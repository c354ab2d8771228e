// Called on the core task thread under the asking download's lock.
//
// The maker of the downloads' peer sources (FileSource). Texts that name no peer go to the
// maker this one replaced, so that other kinds of source keep their own maker.
#pragma once

#include "transfer/SourceMaker.h"

class PeerSourceMaker : public SourceMaker {
public:
    // Puts itself in theSourceMaker's place, once.
    void install();
    FileSourceInterface* makeSource(UserMeta* user, Download* download, Peer* connection) override;
    FileSourceInterface* makeFromText(const char* text, Download* download) override;

private:
    SourceMaker* previous = nullptr;
};

extern PeerSourceMaker thePeerSourceMaker;
