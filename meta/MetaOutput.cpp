#include "meta/MetaOutput.h"

#include <stdarg.h>
#include <stdio.h>

#include "i4min/string/i4_string.h"

MetaOutput::~MetaOutput() {}

void MetaOutput::printLine(const char* text) {
    i4_printf("%s\n", text);
}
void MetaOutput::print(const char* text) {
    i4_printf("%s", text);
}
void MetaOutput::debug(const char*) {}

void MetaOutput::printFlush(const char* text) {
    i4_printf("%s", text);
    fflush(stdout);
}

const char* MetaOutput::localise(const char*, const char* fallback) {
    return fallback;
}

static MetaOutput defaultOutput;
MetaOutput* theMetaOutput = &defaultOutput;

void setMetaOutput(MetaOutput* out) {
    theMetaOutput = out ? out : &defaultOutput;
}

#define META_FORWARD(fn, method)             \
    void fn(const char* fmt, ...) {          \
        va_list ap;                          \
        va_start(ap, fmt);                   \
        i4_string text;                      \
        text.vformat(fmt, ap);               \
        va_end(ap);                          \
        theMetaOutput->method(text.c_str()); \
    }

META_FORWARD(metaPrintLine, printLine)
META_FORWARD(metaPrint, print)
META_FORWARD(metaDebug, debug)
META_FORWARD(metaPrintFlush, printFlush)
