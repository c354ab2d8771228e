#include "transfer/download/DownloadWorkers.h"

DownloadWorkers::~DownloadWorkers() {}

void DownloadWorkers::queueVerify(Download*) {}

void DownloadWorkers::startCompletion(Download*) {}
