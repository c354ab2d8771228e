// layer: transfer
// Answers of a web server to a download's range requests, in reads of any size: the head is
// taken whole or refused, never past its cap, and what it says about the body is sane.
#include <cstdint>
#include <cstring>
#include <string>

#include "transfer/web/HttpResponse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // The first byte sets the size of the reads.
    size_t piece = (size_t)data[0] + 1;
    const char* text = reinterpret_cast<const char*>(data + 1);
    size_t n = size - 1;
    HttpResponse r;
    size_t taken = 0;
    HttpResponse::Result got = HttpResponse::NEED_MORE;
    for (size_t at = 0; at < n && got == HttpResponse::NEED_MORE; at += piece) {
        size_t len = piece < n - at ? piece : n - at;
        int32_t used = -1;
        got = r.add(text + at, (int32_t)len, &used);
        if (used < 0 || (size_t)used > len) __builtin_trap();
        taken += (size_t)used;
    }
    if (got == HttpResponse::COMPLETE) {
        if (taken > (size_t)HttpResponse::MAX_HEAD) __builtin_trap();
        if (r.status < 100 || r.status > 999) __builtin_trap();
        if (r.contentLength < -1) __builtin_trap();
        if (r.hasContentRange && (r.rangeFirst < 0 || r.rangeLast < r.rangeFirst)) __builtin_trap();
        if (r.location.size() > 4096) __builtin_trap();
    }
    return 0;
}
