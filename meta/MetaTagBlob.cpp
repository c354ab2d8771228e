#include "meta/MetaTagBlob.h"

#include <string.h>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_file.h"
#include "i4min/memory/i4_memory.h"

MetaTagBlob::MetaTagBlob(const char* name) : MetaTag(BLOB, name) {
    value.length = 0;
    value.bytes = nullptr;
}

MetaTagBlob::~MetaTagBlob() {
    freeValue();
}

void MetaTagBlob::freeValue() {
    i4_free(value.bytes);
    value.bytes = nullptr;
    value.length = 0;
}

bool MetaTagBlob::toBytes(i4_file& f) {
    if (!MetaTag::toBytes(f) || f.write_32(value.length) != 4) return false;
    return value.length == 0 ||
           f.write(value.bytes, (int32_t)value.length) == (int32_t)value.length;
}

bool MetaTagBlob::fromDisk(i4_file& f) {
    if (!MetaTag::fromDisk(f)) return false;
    i4_field_reader in(f);
    uint32_t length = in.u32();
    if (length > MAX_BLOB || length > in.left()) return false;
    freeValue();
    if (length) {
        value.bytes = (uint8_t*)i4_malloc(length);
        value.length = length;
        in.bytes(value.bytes, length);
    }
    return true;
}

int MetaTagBlob::size() {
    return headerSize() + 4 + (int)value.length;
}

MetaTag* MetaTagBlob::clone() const {
    MetaTagBlob* t = new MetaTagBlob(nullptr);
    t->copyHeaderFrom(*this);
    t->setValue(&value);
    return t;
}

void* MetaTagBlob::getValue() {
    return &value;
}

void MetaTagBlob::setValue(const void* v) {
    const MetaBlob* b = (const MetaBlob*)v;
    if (b == &value) return;
    freeValue();
    if (b && b->length && b->bytes) {
        value.bytes = (uint8_t*)i4_malloc(b->length);
        memcpy(value.bytes, b->bytes, b->length);
        value.length = b->length;
    }
}

const char* MetaTagBlob::getValueText(char* buf, int n) {
    return putText(buf, n, "");
}
