// Type 6: a bit array: u16 bit count N, then N/8+1 bytes (none for N = 0). No lock: used like the
// record that holds it.
#pragma once

#include "meta/MetaTag.h"
#include "util/BoolArray.h"

class MetaTagBoolArray : public MetaTag {
public:
    explicit MetaTagBoolArray(const char* name);
    ~MetaTagBoolArray() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    BoolArray value;
};
