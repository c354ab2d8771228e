#include "transfer/source/OtherFileSource.h"

#include "transfer/source/OtherSourceInterface.h"
#include "transfer/web/ProtocolInterface.h"

OtherFileSource::OtherFileSource(OtherSourceInterface* s) : source(s) {}

OtherFileSource::~OtherFileSource() {}

OtherFileSource* OtherFileSource::find(
    const std::vector<std::unique_ptr<ProtocolInterface>>& protocols, DownloadInterface* download,
    const char* text) {
    for (const auto& protocol : protocols)
        if (OtherSourceInterface* s = protocol->makeSource(download, text))
            return new OtherFileSource(s);
    return nullptr;
}

double OtherFileSource::getSpeed() {
    return source->rate();
}

int OtherFileSource::getStatus() {
    return source->displayState();
}

const char* OtherFileSource::getUserName() {
    return source->getSourceName();
}

const char* OtherFileSource::getFileName() {
    return source->getFileName();
}

void OtherFileSource::pause() {
    source->reset();
}

void OtherFileSource::diskFull() {
    source->reset();
}

void OtherFileSource::shutdown() {
    source->reset();
}

void OtherFileSource::cancel() {
    source->stop();
}

void OtherFileSource::downloadFinished() {
    source->stop();
}

bool OtherFileSource::tryConnect() {
    return source->activate();
}

void OtherFileSource::getRequests(uint32_t starts[3], uint32_t ends[3]) {
    source->getRanges(starts, ends);
}

bool OtherFileSource::tick(int elapsedMs) {
    return source->tick(elapsedMs);
}
