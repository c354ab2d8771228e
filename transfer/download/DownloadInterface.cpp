#include "transfer/download/DownloadInterface.h"

DownloadInterface::~DownloadInterface() {}
