// Type 1: 16 raw bytes (a file or user hash); text: 32 lowercase hex digits. No lock: used like the
// record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTag128 : public MetaTag {
public:
    explicit MetaTag128(const char* name);
    ~MetaTag128() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    uint8_t value[16];
};
