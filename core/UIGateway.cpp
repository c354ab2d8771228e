#include "core/UIGateway.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

#include "core/PageViewer.h"
#include "i4min/file/i4_debug_file_class.h"

namespace {

// Used until start-up installs the console UI, so an early print never
// dereferences a null gateway.
UIGateway builtInUI;

// The platform's 24-character time text ("Thu Dec 10 13:53:27 2026") for now,
// made without the shared buffer of ctime so that threads may log at once.
void localTimeText(char* buf, size_t size) {
    time_t now = time(nullptr);
    struct tm parts;
    if (!localtime_r(&now, &parts) || !strftime(buf, size, "%a %b %e %H:%M:%S %Y", &parts))
        snprintf(buf, size, "%s", "???");
}

}  // namespace

UIGateway* theUI = &builtInUI;

void UIGateway::cutText(i4_string& text, int max) {
    if (text.length() <= max) return;
    const char* s = text.c_str();
    int n = max;
    // s[n] continuing a sequence means the cut splits it: back off to its lead
    // byte (a sequence is at most 4 bytes, so other bytes are left alone).
    for (int k = 0; k < 3 && n > 0 && ((unsigned char)s[n] & 0xC0) == 0x80; k++) n--;
    text.truncate(n);
}

UIGateway::UIGateway() : verbose(false), out(nullptr) {}

UIGateway::~UIGateway() {
    if (theUI == this) theUI = &builtInUI;
}

i4_file& UIGateway::output() const {
    return out ? *out : *i4_debug;
}

void UIGateway::setVerbose(bool on) {
    verbose = on;
}

void UIGateway::setLogFile(const char* path) {
    logPath = path;
}

void UIGateway::printLine(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);

    PageViewer* pager = thePageViewer;
    if (pager && pager->isActive()) {
        cutText(text, CAPTURE_SIZE - 1);
        if (pager->add(text.c_str())) return;
    }
    // One write per line, so lines of several threads never mix.
    text.append("\n");
    output().write(text.c_str(), text.length());
}

void UIGateway::writeOut(const char* format, va_list ap) {
    i4_string text;
    text.vformat(format, ap);
    output().write(text.c_str(), text.length());
}

void UIGateway::print(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    writeOut(format, ap);
    va_end(ap);
}

void UIGateway::debug(const char* format, ...) {
    if (!verbose) return;
    va_list ap;
    va_start(ap, format);
    writeOut(format, ap);
    va_end(ap);
}

void UIGateway::printFlush(const char* format, ...) {
    fflush(stdout);  // whatever went through stdio must come first
    va_list ap;
    va_start(ap, format);
    writeOut(format, ap);
    va_end(ap);
    output().flush();
}

void UIGateway::log(const char* format, ...) {
    if (logPath.is_empty()) return;
    char when[64];
    localTimeText(when, sizeof when);

    va_list ap;
    va_start(ap, format);
    i4_string text;
    text.vformat(format, ap);
    va_end(ap);

    i4_string line;
    line.format("[ %s ]: ", when);
    line.append(text);
    line.append("\n");
    appendToLog(line.c_str(), line.length());
}

void UIGateway::logRaw(const void* bytes, int32_t n) {
    if (logPath.is_empty() || !bytes || n <= 0) return;
    appendToLog(bytes, n);
}

// Opened and closed for every entry: entries of several threads never mix
// (O_APPEND), and the file may be removed while the client runs. A log that
// cannot be opened is skipped silently.
void UIGateway::appendToLog(const void* bytes, int32_t n) {
    int fd = open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    const char* p = static_cast<const char*>(bytes);
    while (n > 0) {
        ssize_t w = write(fd, p, (size_t)n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) break;
        p += w;
        n -= (int32_t)w;
    }
    close(fd);
}
