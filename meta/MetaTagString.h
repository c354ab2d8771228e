// Type 2: a text of at most 128 bytes, stored as u16 length and bytes. No lock: used like the
// record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTagString : public MetaTag {
public:
    explicit MetaTagString(const char* name);
    ~MetaTagString() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

private:
    i4_string value;  // may hold no text at all
};
