#include "meta/MetaTag128.h"

#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "meta/MD4.h"

MetaTag128::MetaTag128(const char* name) : MetaTag(HASH128, name) {
    memset(value, 0, sizeof value);
}
MetaTag128::~MetaTag128() {}

bool MetaTag128::toBytes(i4_file& f) {
    return MetaTag::toBytes(f) && f.write(value, 16) == 16;
}

bool MetaTag128::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    i4_field_reader(f).bytes(value, 16);
    return true;
}

int MetaTag128::size() {
    return headerSize() + 16;
}

MetaTag* MetaTag128::clone() const {
    MetaTag128* t = new MetaTag128(nullptr);
    t->copyHeaderFrom(*this);
    memcpy(t->value, value, sizeof value);
    return t;
}

void* MetaTag128::getValue() {
    return value;
}

void MetaTag128::setValue(const void* v) {
    if (v)
        memcpy(value, v, sizeof value);
    else
        memset(value, 0, sizeof value);
}

const char* MetaTag128::getValueText(char* buf, int n) {
    char text[33];
    return putText(buf, n, md4Hex(value, text));
}
