#include "transfer/web/HttpProtocol.h"

#include <string.h>

#include "transfer/web/HttpSource.h"

HttpProtocol::~HttpProtocol() {}

OtherSourceInterface* HttpProtocol::makeSource(DownloadInterface* download, const char* text) {
    if (!download || !text || strncmp(text, "http://", 7) != 0) return nullptr;
    if (!HttpSource::usableUrl(text)) return nullptr;
    return new HttpSource(download, text);
}
