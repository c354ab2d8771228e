#include "meta/MetaTag.h"

#include <memory>

#include "i4min/file/i4_field_reader.h"
#include "i4min/file/i4_field_writer.h"
#include "i4min/file/i4_file.h"
#include "i4min/string/i4_err.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag128.h"
#include "meta/MetaTagBlob.h"
#include "meta/MetaTagBoolArray.h"
#include "meta/MetaTagScalar.h"
#include "meta/MetaTagString.h"
#include "meta/SpecialTagInfo.h"

MetaTag::MetaTag(uint32_t t, const char* n) : specialId(0), name(n), type(t) {}

MetaTag::~MetaTag() {}

int MetaTag::headerSize() const {
    return 3 + (name.c_str() ? name.length() : 1);
}

void MetaTag::copyHeaderFrom(const MetaTag& other) {
    specialId = other.specialId;
    name = other.name;
}

char* MetaTag::putText(char* buf, int n, const char* text) {
    if (!buf || n < 1) return buf;
    int i = 0;
    for (; text && text[i] && i < n - 1; ++i) buf[i] = text[i];
    buf[i] = 0;
    return buf;
}

bool MetaTag::readText(i4_file& f, int max, i4_string& out) {
    if (max > MAX_STORED_STRING) max = MAX_STORED_STRING;
    return checked([&] {
        i4_field_reader(f).text(max, out);
        return true;
    });
}

bool MetaTag::toBytes(i4_file& f) {
    if (checked([&] {
            i4_field_writer out(f);
            out.u8((uint8_t)type);
            if (!name.c_str()) {
                out.u16(1);
                out.u8('n');
            } else {
                name.write(f);
            }
            return true;
        }))
        return true;
    metaDebug("**I4 error in MetaTag::toBytes()\n");
    return false;
}

bool MetaTag::fromDisk(i4_file& f) {
    i4_string n;
    if (!readText(f, MAX_NAME, n)) return false;
    specialId = 0;
    if (n.equals("n")) {
        name = (const char*)nullptr;
    } else {
        name = n;
        if (n.length() <= 1) specialId = (uint8_t)n.c_str()[0];
    }
    return true;
}

const char* MetaTag::getName() const {
    if (specialId) {
        const SpecialTagInfo* info = SpecialTagInfo::get(specialId);
        return info ? info->displayName.c_str() : nullptr;
    }
    return name.c_str();
}

int MetaTag::isFlagged() const {
    if (!specialId) return 1;
    const SpecialTagInfo* info = SpecialTagInfo::get(specialId);
    return info ? info->flag : 0;
}

int MetaTag::isFlagged2() const {
    if (!specialId) return 1;
    const SpecialTagInfo* info = SpecialTagInfo::get(specialId);
    return info ? info->flag2 : 0;
}

MetaTag* MetaTag::makeTag(uint32_t type, const char* name, const void* value) {
    MetaTag* tag = nullptr;
    switch (type) {
    case HASH128:
        tag = new MetaTag128(name);
        break;
    case STRING:
        tag = new MetaTagString(name);
        break;
    case INT:
        tag = new MetaTagInt(name);
        break;
    case FLOAT:
        tag = new MetaTagFloat(name);
        break;
    case BOOL:
        tag = new MetaTagBool(name);
        break;
    case BOOLARRAY:
        tag = new MetaTagBoolArray(name);
        break;
    case BLOB:
        tag = new MetaTagBlob(name);
        break;
    case INT64:
        tag = new MetaTag64(name);
        break;
    default:
        metaDebug("ERROR: unknown type MetaTag::makeTag() %d\n", (int)type);
        return nullptr;
    }
    if (value) tag->setValue(value);
    return tag;
}

MetaTag* MetaTag::makeSpecialTag(int id, const void* value) {
    const SpecialTagInfo* info = SpecialTagInfo::get(id);
    if (!info || !info->valueType) return nullptr;
    MetaTag* tag = makeTag(info->valueType, info->tagName, value);
    if (tag) tag->specialId = id;
    return tag;
}

MetaTag* MetaTag::readTag(i4_file& f, bool fromWire) {
    std::unique_ptr<MetaTag> tag;
    bool refused = false;
    bool whole = checked([&] {
        tag.reset(makeTag(i4_field_reader(f).u8(), nullptr, nullptr));
        refused = !tag || !(fromWire ? tag->fromNetwork(f) : tag->fromDisk(f));
        return !refused;
    });
    if (whole) return tag.release();
    // Input cut short is the caller's to report; a type or value refused is noted here.
    if (refused) metaDebug("error in tag from bytes\n");
    return nullptr;
}
