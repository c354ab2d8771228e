// Any thread. Installed once at core start before other threads print; the
// cache of localised free keys is guarded by its own mutex.
#pragma once

#include "meta/MetaOutput.h"

// Hands the record model's texts to the active UI gateway and its keys to the
// string table, so listings reach the pager and the remote controller.
class UIMetaOutput : public MetaOutput {
public:
    void printLine(const char* text) override;
    void print(const char* text) override;
    void debug(const char* text) override;
    void printFlush(const char* text) override;
    const char* localise(const char* key, const char* fallback) override;
};

extern UIMetaOutput theUIMetaOutput;
