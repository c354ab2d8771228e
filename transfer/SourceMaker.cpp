#include "transfer/SourceMaker.h"

namespace {
SourceMaker noSources;
}

SourceMaker* theSourceMaker = &noSources;

SourceMaker::~SourceMaker() {}

FileSourceInterface* SourceMaker::makeSource(UserMeta*, Download*, Peer*) {
    return nullptr;
}

FileSourceInterface* SourceMaker::makeFromText(const char*, Download*) {
    return nullptr;
}
