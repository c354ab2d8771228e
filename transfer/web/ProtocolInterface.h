// Called on the core task thread; handlers keep no state, so no lock.
//
// A handler of source texts that name something other than a peer.
#pragma once

class DownloadInterface;
class OtherSourceInterface;

class ProtocolInterface {
public:
    virtual ~ProtocolInterface();
    // A new source for the text when this handler understands it, else null.
    virtual OtherSourceInterface* makeSource(DownloadInterface* download, const char* text);
};
