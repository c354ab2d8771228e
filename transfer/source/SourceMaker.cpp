#include "transfer/source/SourceMaker.h"

#include "meta/UserMeta.h"
#include "transfer/download/Download.h"
#include "transfer/share/TransferGateway.h"
#include "transfer/source/OtherFileSource.h"
#include "transfer/web/BcpText.h"

SourceMaker::~SourceMaker() {}

FileSourceInterface* SourceMaker::makeSource(UserMeta*, Download*, Peer*) {
    return nullptr;
}

FileSourceInterface* SourceMaker::makeFromText(const char* text, Download* download) {
    if (!text || !download) return nullptr;
    if (BcpText::isBcp(text)) {
        // A malformed "bcp" text names no peer, and no other handler takes it either.
        UserMeta user;
        return BcpText::parse(text, &user) ? makeSource(&user, download, nullptr) : nullptr;
    }
    return OtherFileSource::find(theTransferGateway.protocols, download, text);
}
