#include "transfer/web/HttpRequest.h"

#include <stdio.h>
#include <string.h>

bool HttpRequest::usableUrl(const char* url) {
    if (!url || !*url) return false;
    for (const unsigned char* p = (const unsigned char*)url; *p; ++p)
        if (*p <= ' ' || *p == 127) return false;
    return true;
}

bool HttpRequest::build(const char* path, const char* host, int port, uint32_t start, uint32_t end,
                        std::string& out) {
    out.clear();
    if (!path || !host || start >= end || !usableUrl(path) || !usableUrl(host)) return false;
    char portText[16] = "";
    if (port != 80) snprintf(portText, sizeof portText, ":%d", port);
    char range[64];
    snprintf(range, sizeof range, "Range: bytes=%u-%u\r\n\r\n", start, end - 1);
    size_t length = strlen(path) + strlen(host) + strlen(portText) + strlen(range) +
                    strlen("GET  HTTP/1.1\r\nHost: \r\nConnection: Keep-Alive\r\n");
    if (length > MAX_TEXT) return false;
    out.reserve(length);
    out.append("GET ").append(path).append(" HTTP/1.1\r\nHost: ").append(host).append(portText);
    out.append("\r\nConnection: Keep-Alive\r\n").append(range);
    return true;
}
