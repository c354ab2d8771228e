#include "meta/MetaTag64.h"

#include <inttypes.h>
#include <stdio.h>

#include "i4min/file/i4_file.h"

MetaTag64::MetaTag64(const char* name) : MetaTag(INT64, name), value(0) {}
MetaTag64::~MetaTag64() {}

bool MetaTag64::toBytes(i4_file& f) {
    return MetaTag::toBytes(f) && f.write_64((uint64_t)value) == 8;
}

bool MetaTag64::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    value = (int64_t)f.read_64();
    return true;
}

int MetaTag64::size() {
    return headerSize() + 8;
}

MetaTag* MetaTag64::clone() const {
    MetaTag64* t = new MetaTag64(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTag64::getValue() {
    return &value;
}
void MetaTag64::setValue(const void* v) {
    value = v ? *(const int64_t*)v : 0;
}

const char* MetaTag64::getValueText(char* buf, int n) {
    char text[24];
    snprintf(text, sizeof text, "%" PRId64, value);
    return putText(buf, n, text);
}
