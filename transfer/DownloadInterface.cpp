#include "transfer/DownloadInterface.h"

DownloadInterface::~DownloadInterface() {}
