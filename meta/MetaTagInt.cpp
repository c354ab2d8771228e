#include "meta/MetaTagInt.h"

#include <stdio.h>

#include "i4min/file/i4_file.h"

MetaTagInt::MetaTagInt(const char* name) : MetaTag(INT, name), value(0) {}
MetaTagInt::~MetaTagInt() {}

bool MetaTagInt::toBytes(i4_file& f) {
    return MetaTag::toBytes(f) && f.write_32((uint32_t)value) == 4;
}

bool MetaTagInt::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    value = (int32_t)f.read_32();
    return true;
}

int MetaTagInt::size() {
    return headerSize() + 4;
}

MetaTag* MetaTagInt::clone() const {
    MetaTagInt* t = new MetaTagInt(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTagInt::getValue() {
    return &value;
}
void MetaTagInt::setValue(const void* v) {
    value = v ? *(const int32_t*)v : 0;
}

const char* MetaTagInt::getValueText(char* buf, int n) {
    char text[16];
    snprintf(text, sizeof text, "%d", (int)value);
    return putText(buf, n, text);
}
