// layer: util
// Configuration files are edited by hand: any bytes must load without a
// crash or a read past the line buffer.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "i4min/string/i4_string.h"
#include "util/ConfigFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "r");
    if (!f) return 0;
    ConfigFile c;
    c.loadStream(f);
    fclose(f);
    i4_string s;
    int n;
    bool b;
    c.getString("", "a", s);
    c.getInt("net", "port", n);
    c.getBool("flags", 1, "on", 2, b);
    c.find("", "");
    return 0;
}
