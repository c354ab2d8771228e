// Type 5: one byte; any non-zero byte reads as 1. No lock: used like the record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTagBool : public MetaTag {
public:
    explicit MetaTagBool(const char* name);
    ~MetaTagBool() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    uint8_t value;
};
