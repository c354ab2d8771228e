// Pure; any thread.
//
// The GET of one byte range, and the check that a URL can be put into one.
#pragma once

#include <stdint.h>
#include <string>

class HttpRequest {
public:
    // A request is at most this many characters; a longer one is never sent cut.
    enum { MAX_TEXT = 10239 };

    // False for a URL with a space or a control byte (CR and LF above all): such a
    // text would end the request line or add header lines of its own.
    static bool usableUrl(const char* url);
    // The GET for bytes [start, end) of path on host (":port" added when not 80).
    // False, and out empty, when the text would pass MAX_TEXT or the range is empty.
    static bool build(const char* path, const char* host, int port, uint32_t start, uint32_t end,
                      std::string& out);
};
