// Any thread may print or log through the active gateway. No lock: each call is
// one write to the console file or one open-append-close of the log file.
#pragma once

#include <cstdarg>
#include <cstdint>

#include "i4min/string/i4_string.h"

class i4_file;

// Where every text of the core, transfer and server sides goes. The console UI
// keeps these bodies; the remote-control UI sits in front of it.
class UIGateway {
public:
    UIGateway();
    virtual ~UIGateway();

    virtual void setVerbose(bool on);
    // One line of output; gathered by the pager while it is active.
    virtual void printLine(const char* format, ...);
    // Output without a line end; never gathered.
    virtual void print(const char* format, ...);
    // Like print, shown only in verbose mode.
    virtual void debug(const char* format, ...);
    // Like print, then the output is flushed.
    virtual void printFlush(const char* format, ...);
    // One line appended to the log file: "[ <local time> ]: <text>\n".
    virtual void log(const char* format, ...);
    // Bytes appended to the log file as they stand.
    virtual void logRaw(const void* bytes, int32_t n);

    // An empty or null path turns logging off.
    void setLogFile(const char* path);
    const i4_string& getLogFile() const { return logPath; }
    bool isVerbose() const { return verbose; }

    // Console text goes to standard output; tests hand in a memory file.
    void setOutput(i4_file* file) { out = file; }

    enum { CAPTURE_SIZE = 512 };

protected:
    // Cuts text to at most max bytes without leaving half a UTF-8 sequence.
    static void cutText(i4_string& text, int max);

    i4_file& output() const;
    void writeOut(const char* format, va_list ap);
    void appendToLog(const void* bytes, int32_t n);

    bool verbose;
    i4_string logPath;

private:
    i4_file* out;
};

extern UIGateway* theUI;
