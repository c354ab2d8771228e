// Shared by the benchmarks: rates of the system's own tools measured in the
// same run, to set a benchmark's figures beside.
#pragma once

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// OpenSSL's single-core MD4 rate in bytes per second on 16 KiB blocks (its
// largest), or 0 when it cannot be run.
inline double opensslMd4Rate() {
    static double rate = -1;
    if (rate >= 0) return rate;
    rate = 0;
    FILE* p =
        popen("openssl speed -provider legacy -provider default -seconds 2 md4 2>/dev/null", "r");
    if (!p) return rate;
    char line[512];
    while (fgets(line, sizeof line, p)) {
        if (strncmp(line, "md4 ", 4) != 0) continue;
        size_t n = strlen(line);
        while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == ' ')) line[--n] = 0;
        const char* last = strrchr(line, ' ');
        if (last) rate = atof(last + 1) * 1000.0;  // "k" is 1000 bytes
    }
    pclose(p);
    return rate;
}
