#include "transfer/upload/UploadNotices.h"

UploadNotices::~UploadNotices() {}

void UploadNotices::announceCrumb(const uint8_t*, int) {}

void UploadNotices::pauseFile(const uint8_t*, bool) {}
