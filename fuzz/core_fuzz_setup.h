// Shared by the core-layer fuzz targets: a console that drops every line, so a fuzzing run is
// not slowed by printing, installed once, and the record model's tables filled.
#pragma once

#include "core/UIGateway.h"
#include "fuzz/meta_fuzz_setup.h"

class SilentUI : public UIGateway {
public:
    void printLine(const char*, ...) override {}
    void print(const char*, ...) override {}
    void debug(const char*, ...) override {}
    void printFlush(const char*, ...) override {}
    void log(const char*, ...) override {}
    void logRaw(const void*, int32_t) override {}
};

inline void coreFuzzSetup() {
    static SilentUI silent;
    theUI = &silent;
    metaFuzzSetup();
}
