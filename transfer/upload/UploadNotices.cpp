#include "transfer/upload/UploadNotices.h"

namespace {
UploadNotices nobodyUploads;
}

UploadNotices* theUploadNotices = &nobodyUploads;

UploadNotices::~UploadNotices() {}

void UploadNotices::announceCrumb(const uint8_t*, int) {}

void UploadNotices::pauseFile(const uint8_t*, bool) {}
