// Called on the core task thread by the one HTTP source that owns it; no lock.
//
// The head of one HTTP response (status line and header lines), gathered across
// reads. A line ends at "\n" with an optional "\r" before it; the head ends at the
// first empty line, so both "\r\n\r\n" and "\n\n" close it. Header names match
// without case. What the head says about the body is checked by the source.
#pragma once

#include <stdint.h>
#include <string>

class HttpResponse {
public:
    // A head larger than this is refused: a server that never ends it cannot make
    // the source buffer without bound.
    enum { MAX_HEAD = 16384 };
    enum Result { NEED_MORE, COMPLETE, BAD };

    HttpResponse();
    void clear();
    // Takes bytes that follow what came before. On COMPLETE, *used is how many of
    // them belong to the head: the rest is body. BAD and COMPLETE stay until clear.
    Result add(const char* data, int32_t n, int32_t* used);

    int status;
    // -1 when absent.
    int64_t contentLength;
    // "Content-Range: bytes first-last/total"; total -1 for "*".
    bool hasContentRange;
    int64_t rangeFirst, rangeLast, rangeTotal;
    // "Connection" names "close".
    bool close;
    // A "Transfer-Encoding" other than identity: the body's length is not the count of its bytes.
    bool encodedBody;
    std::string location;

private:
    Result parse();
    bool header(const char* name, size_t nameLength, const char* value, size_t valueLength);

    std::string head;
    size_t scanned;
    // Line ends skipped before the status line.
    size_t leading;
    Result result;
};
