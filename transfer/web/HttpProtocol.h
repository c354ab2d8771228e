// Called on the core task thread; no state, no lock.
//
// Makes an HTTP source of an "http://" text.
#pragma once

#include "transfer/web/ProtocolInterface.h"

class HttpProtocol : public ProtocolInterface {
public:
    ~HttpProtocol() override;
    // Null for anything but a usable "http://" address.
    OtherSourceInterface* makeSource(DownloadInterface* download, const char* text) override;
};
