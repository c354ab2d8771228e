#include "transfer/web/HttpResponse.h"

#include <string.h>
#include <strings.h>

namespace {

const size_t MAX_LOCATION = 4096;
// 2^53: a length past any file the client can hold, yet far from overflowing a sum.
const int64_t MAX_NUMBER = (int64_t)1 << 53;

bool isSpace(char c) {
    return c == ' ' || c == '\t';
}

// A whole decimal number without sign; false for anything else or one past MAX_NUMBER.
bool number(const char*& p, const char* end, int64_t* out) {
    const char* start = p;
    int64_t v = 0;
    while (p < end && *p >= '0' && *p <= '9') {
        v = v * 10 + (*p - '0');
        if (v > MAX_NUMBER) return false;
        ++p;
    }
    *out = v;
    return p > start;
}

bool sameText(const char* a, size_t n, const char* b) {
    return n == strlen(b) && strncasecmp(a, b, n) == 0;
}

// True when the comma-separated list holds the token (without case).
bool hasToken(const char* p, const char* end, const char* token) {
    while (p < end) {
        while (p < end && (isSpace(*p) || *p == ',')) ++p;
        const char* start = p;
        while (p < end && *p != ',') ++p;
        const char* last = p;
        while (last > start && isSpace(last[-1])) --last;
        if (sameText(start, (size_t)(last - start), token)) return true;
    }
    return false;
}

}  // namespace

HttpResponse::HttpResponse() {
    clear();
}

void HttpResponse::clear() {
    status = 0;
    contentLength = -1;
    hasContentRange = false;
    rangeFirst = rangeLast = rangeTotal = -1;
    close = false;
    encodedBody = false;
    location.clear();
    head.clear();
    scanned = 0;
    leading = 0;
    result = NEED_MORE;
}

HttpResponse::Result HttpResponse::add(const char* data, int32_t n, int32_t* used) {
    *used = 0;
    if (result != NEED_MORE || n <= 0) return result;
    // Stray line ends before the status line (after an earlier body) are no part of it.
    int32_t skipped = 0;
    if (head.empty())
        while (skipped < n && (data[skipped] == '\r' || data[skipped] == '\n')) ++skipped;
    // They count towards the cap, or endless line ends would never be refused.
    leading += (size_t)skipped;
    if (leading >= MAX_HEAD) {
        *used = skipped;
        return result = BAD;
    }
    size_t before = head.size();
    size_t take = (size_t)(n - skipped);
    if (leading + before + take > MAX_HEAD) take = MAX_HEAD - leading - before;
    head.append(data + skipped, take);
    while (true) {
        size_t nl = head.find('\n', scanned);
        if (nl == std::string::npos) break;
        size_t lineStart = scanned;
        scanned = nl + 1;
        if (nl == lineStart || (nl == lineStart + 1 && head[lineStart] == '\r')) {
            // The empty line: the head ends with it.
            *used = skipped + (int32_t)(scanned - before);
            head.resize(scanned);
            result = parse();
            return result;
        }
    }
    *used = skipped + (int32_t)take;
    if (leading + head.size() >= MAX_HEAD) result = BAD;
    return result;
}

HttpResponse::Result HttpResponse::parse() {
    const char* p = head.data();
    const char* end = p + head.size();
    const char* eol = (const char*)memchr(p, '\n', (size_t)(end - p));
    const char* lineEnd = eol > p && eol[-1] == '\r' ? eol - 1 : eol;
    // "HTTP/x.y NNN reason"
    if (lineEnd - p < 12 || strncmp(p, "HTTP/", 5) != 0) return BAD;
    const char* s = (const char*)memchr(p, ' ', (size_t)(lineEnd - p));
    if (!s) return BAD;
    ++s;
    if (lineEnd - s < 3) return BAD;
    for (int i = 0; i < 3; ++i)
        if (s[i] < '0' || s[i] > '9') return BAD;
    if (lineEnd - s > 3 && s[3] != ' ') return BAD;
    status = (s[0] - '0') * 100 + (s[1] - '0') * 10 + (s[2] - '0');
    if (status < 100) return BAD;

    p = eol + 1;
    while (p < end) {
        eol = (const char*)memchr(p, '\n', (size_t)(end - p));
        lineEnd = eol > p && eol[-1] == '\r' ? eol - 1 : eol;
        if (lineEnd == p) break;
        const char* colon = (const char*)memchr(p, ':', (size_t)(lineEnd - p));
        // A folded or nameless line is not something a source can trust.
        if (!colon || colon == p || isSpace(*p)) return BAD;
        const char* v = colon + 1;
        while (v < lineEnd && isSpace(*v)) ++v;
        const char* ve = lineEnd;
        while (ve > v && isSpace(ve[-1])) --ve;
        if (!header(p, (size_t)(colon - p), v, (size_t)(ve - v))) return BAD;
        p = eol + 1;
    }
    return COMPLETE;
}

bool HttpResponse::header(const char* name, size_t nameLength, const char* value,
                          size_t valueLength) {
    const char* end = value + valueLength;
    if (sameText(name, nameLength, "Content-Length")) {
        int64_t v;
        const char* p = value;
        if (!number(p, end, &v) || p != end) return false;
        // Two lengths that differ leave the body's end unknown.
        if (contentLength >= 0 && contentLength != v) return false;
        contentLength = v;
    } else if (sameText(name, nameLength, "Content-Range")) {
        const char* p = value;
        if (valueLength < 6 || strncasecmp(p, "bytes ", 6) != 0) return false;
        p += 6;
        while (p < end && isSpace(*p)) ++p;
        int64_t first, last, total = -1;
        if (!number(p, end, &first) || p == end || *p++ != '-') return false;
        if (!number(p, end, &last) || p == end || *p++ != '/') return false;
        if (p < end && *p == '*')
            ++p;
        else if (!number(p, end, &total))
            return false;
        if (p != end || last < first || (total >= 0 && last >= total)) return false;
        if (hasContentRange) return false;
        hasContentRange = true;
        rangeFirst = first;
        rangeLast = last;
        rangeTotal = total;
    } else if (sameText(name, nameLength, "Connection")) {
        if (hasToken(value, end, "close")) close = true;
    } else if (sameText(name, nameLength, "Transfer-Encoding")) {
        if (!sameText(value, valueLength, "identity")) encodedBody = true;
    } else if (sameText(name, nameLength, "Location")) {
        if (location.empty() && valueLength > 0) {
            if (valueLength > MAX_LOCATION) return false;
            location.assign(value, valueLength);
        }
    }
    return true;
}
