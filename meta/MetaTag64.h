// Type 8: a 64-bit integer, stored as 8 bytes. No lock: used like the record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTag64 : public MetaTag {
public:
    explicit MetaTag64(const char* name);
    ~MetaTag64() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    int64_t value;
};
