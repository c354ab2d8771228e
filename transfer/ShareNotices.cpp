#include "transfer/ShareNotices.h"

#include "meta/FileMeta.h"

namespace {
ShareNotices nothingShared;
}

ShareNotices* theShareNotices = &nothingShared;

ShareNotices::~ShareNotices() {}

void ShareNotices::fileHashed(FileMeta* record) {
    delete record;
}

void ShareNotices::unshareFile(FileMeta*) {}

bool ShareNotices::fileMoved(const uint8_t*, const char*, uint32_t) {
    return true;
}

bool ShareNotices::isShared(const uint8_t*) {
    return false;
}
