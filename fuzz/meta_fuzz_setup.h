// Shared by the record-model fuzz targets: a sink that drops every message, so a
// fuzzing run is not slowed by printing, and the special-tag table filled.
#pragma once

#include "meta/MetaOutput.h"
#include "meta/SpecialTagInfo.h"

class SilentMetaOutput : public MetaOutput {
public:
    void printLine(const char*) override {}
    void print(const char*) override {}
    void printFlush(const char*) override {}
};

inline void metaFuzzSetup() {
    static SilentMetaOutput silent;
    setMetaOutput(&silent);
    initSpecialTags();
}
