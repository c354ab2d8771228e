#include "transfer/web/ProtocolInterface.h"

ProtocolInterface::~ProtocolInterface() {}

OtherSourceInterface* ProtocolInterface::makeSource(DownloadInterface*, const char*) {
    return nullptr;
}
