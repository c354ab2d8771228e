// Type 2: a text stored as u16 length and bytes; at most 128 bytes when set or read from the
// wire, up to 4,095 when read from the client's own files or set as a stored setting. No lock:
// used like the record that holds it.
#pragma once

#include "meta/MetaTag.h"

class MetaTagString : public MetaTag {
public:
    explicit MetaTagString(const char* name);
    ~MetaTagString() override;

    bool toBytes(i4_file& f) override;
    bool fromNetwork(i4_file& f) override;
    bool fromDisk(i4_file& f) override;
    int size() override;
    MetaTag* clone() const override;
    void* getValue() override;
    void setValue(const void* value) override;
    const char* getValueText(char* buf, int n) override;
    // A setting's text (a path, say), kept whole up to MAX_STORED_STRING bytes.
    void setStoredValue(const char* text);

private:
    i4_string value;  // may hold no text at all
};
