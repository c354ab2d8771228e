// Type 7: a byte block, stored as u32 length and the bytes. No lock: used like the record that
// holds it.
#pragma once

#include "meta/MetaTag.h"

// The value of a blob tag; the bytes belong to the tag.
struct MetaBlob {
    uint32_t length;
    uint8_t* bytes;
};

class MetaTagBlob : public MetaTag {
public:
    explicit MetaTagBlob(const char* name);
    ~MetaTagBlob() override;

    bool toBytes(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;

    // A blob is only ever read back and written again; its length is untrusted and
    // capped here before anything is allocated.
    enum { MAX_BLOB = 1 << 20 };

private:
    void freeValue();

    MetaBlob value;
};
