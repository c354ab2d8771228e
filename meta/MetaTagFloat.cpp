#include "meta/MetaTagFloat.h"

#include <stdio.h>
#include <string.h>

#include "i4min/file/i4_file.h"

MetaTagFloat::MetaTagFloat(const char* name) : MetaTag(FLOAT, name), value(0) {}
MetaTagFloat::~MetaTagFloat() {}

bool MetaTagFloat::toBytes(i4_file& f) {
    uint32_t bits;
    memcpy(&bits, &value, 4);
    return MetaTag::toBytes(f) && f.write_32(bits) == 4;
}

bool MetaTagFloat::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    uint32_t bits = f.read_32();
    memcpy(&value, &bits, 4);
    return true;
}

int MetaTagFloat::size() {
    return headerSize() + 4;
}

MetaTag* MetaTagFloat::clone() const {
    MetaTagFloat* t = new MetaTagFloat(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTagFloat::getValue() {
    return &value;
}
void MetaTagFloat::setValue(const void* v) {
    value = v ? *(const float*)v : 0.0f;
}

const char* MetaTagFloat::getValueText(char* buf, int n) {
    // "%f" of the largest float needs 46 bytes.
    char text[64];
    snprintf(text, sizeof text, "%f", (double)value);
    return putText(buf, n, text);
}
