// Type 3: a 32-bit integer, stored as u32. No lock: used like the record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTagInt : public MetaTag {
public:
    explicit MetaTagInt(const char* name);
    ~MetaTagInt() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    int32_t value;
};
