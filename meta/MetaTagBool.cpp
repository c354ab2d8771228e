#include "meta/MetaTagBool.h"

#include "i4min/file/i4_file.h"

MetaTagBool::MetaTagBool(const char* name) : MetaTag(BOOL, name), value(0) {}
MetaTagBool::~MetaTagBool() {}

bool MetaTagBool::toBytes(i4_file& f) {
    return MetaTag::toBytes(f) && f.write_8(value) == 1;
}

bool MetaTagBool::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    value = f.read_8() ? 1 : 0;
    return true;
}

int MetaTagBool::size() {
    return headerSize() + 1;
}

MetaTag* MetaTagBool::clone() const {
    MetaTagBool* t = new MetaTagBool(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTagBool::getValue() {
    return &value;
}
void MetaTagBool::setValue(const void* v) {
    value = v ? *(const uint8_t*)v : 0;
}

const char* MetaTagBool::getValueText(char* buf, int n) {
    return putText(buf, n, value ? "true" : "false");
}
