// Type 4: an IEEE-754 single, stored as its 4 bytes. No lock: used like the record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTagFloat : public MetaTag {
public:
    explicit MetaTagFloat(const char* name);
    ~MetaTagFloat() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    float value;
};
