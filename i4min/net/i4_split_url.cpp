#include "i4min/net/i4_split_url.h"

#include <cstring>

#include "i4min/string/i4_string.h"

int i4_split_url(const char* url, i4_string* scheme, i4_string* host, i4_string* path,
                 i4_string* file, int* port) {
    if (!url) return 0;
    const char* colon = strchr(url, ':');
    if (!colon || colon == url) return 0;
    const char* h = colon + 1;
    while (*h == '/') h++;
    const char* he = h;
    while (*he && *he != ':' && *he != '/') he++;
    if (he == h) return 0;
    const char* p = he;
    int port_value = -1;
    if (*p == ':') {
        p++;
        int v = 0;
        int digits = 0;
        while (*p >= '0' && *p <= '9' && digits < 6) {
            v = v * 10 + (*p++ - '0');
            digits++;
        }
        if (digits == 0 || v < 1 || v > 65535 || (*p && *p != '/')) return 0;
        port_value = v;
    }
    i4_string s;
    s.append_n(url, static_cast<int>(colon - url));
    i4_string hs;
    hs.append_n(h, static_cast<int>(he - h));
    const char* ps = *p ? p : "/";
    const char* fs = strrchr(ps, '/') + 1;
    if (scheme) scheme->assign(s.c_str());
    if (host) host->assign(hs.c_str());
    if (path) path->assign(ps);
    if (file) file->assign(fs);
    if (port && port_value > 0) *port = port_value;
    return 1;
}
