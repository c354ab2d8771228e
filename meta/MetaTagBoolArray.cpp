#include "meta/MetaTagBoolArray.h"

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"

MetaTagBoolArray::MetaTagBoolArray(const char* name) : MetaTag(BOOLARRAY, name) {}
MetaTagBoolArray::~MetaTagBoolArray() {}

bool MetaTagBoolArray::toBytes(i4_file& f) {
    if (!MetaTag::toBytes(f)) return false;
    uint32_t dataBytes = value.size() ? value.size() / 8 + 1 : 0;
    return value.write(f) == (int32_t)(2 + dataBytes);
}

bool MetaTagBoolArray::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    i4_field_reader in(f);
    uint16_t count = in.u16();
    uint32_t dataBytes = count ? count / 8u + 1 : 0;
    if (dataBytes > in.left()) return false;
    value.resize(count);
    in.bytes(value.bytes(), dataBytes);
    return true;
}

// Counts one byte more than an empty array writes; packets sized from it carry it as 0.
int MetaTagBoolArray::size() {
    return headerSize() + (int)(value.size() / 8 + 3);
}

MetaTag* MetaTagBoolArray::clone() const {
    MetaTagBoolArray* t = new MetaTagBoolArray(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTagBoolArray::getValue() {
    return &value;
}

void MetaTagBoolArray::setValue(const void* v) {
    if (v)
        value = *(const BoolArray*)v;
    else
        value.resize(0);
}

const char* MetaTagBoolArray::getValueText(char* buf, int n) {
    return putText(buf, n, "");
}
