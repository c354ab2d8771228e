#include "meta/MetaTagString.h"

#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "meta/MetaOutput.h"

MetaTagString::MetaTagString(const char* name)
    : MetaTag(STRING, name), value((const char*)nullptr) {}
MetaTagString::~MetaTagString() {}

bool MetaTagString::toBytes(i4_file& f) {
    if (!MetaTag::toBytes(f)) return false;
    if (checked([&] {
            value.write(f);
            return true;
        }))
        return true;
    metaDebug("**I4 error in MetaTagString::toBytes()\n");
    return false;
}

bool MetaTagString::fromNetwork(i4_file& f) {
    return MetaTag::fromDisk(f) && readText(f, MAX_STRING, value);
}

bool MetaTagString::fromDisk(i4_file& f) {
    return MetaTag::fromDisk(f) && readText(f, MAX_STORED_STRING, value);
}

int MetaTagString::size() {
    return headerSize() + 2 + value.length();
}

MetaTag* MetaTagString::clone() const {
    MetaTagString* t = new MetaTagString(nullptr);
    t->copyHeaderFrom(*this);
    t->value = value;
    return t;
}

void* MetaTagString::getValue() {
    return (void*)value.c_str();
}

void MetaTagString::setValue(const void* v) {
    value = (const char*)v;
    if (value.length() > MAX_STRING) value.truncate(MAX_STRING);
}

void MetaTagString::setStoredValue(const char* text) {
    value = text;
    if (value.length() > MAX_STORED_STRING) value.truncate(MAX_STORED_STRING);
}

const char* MetaTagString::getValueText(char* buf, int n) {
    if (!value.c_str()) return nullptr;
    return putText(buf, n, value.c_str());
}
