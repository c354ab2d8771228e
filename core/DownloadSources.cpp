#include "core/DownloadSources.h"

DownloadSources::~DownloadSources() {}

void DownloadSources::tick(int64_t) {}

void DownloadSources::forgetRequests(const uint8_t*) {}

void DownloadSources::hook() {}
