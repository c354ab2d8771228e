#include "meta/SN_StrTagCompare.h"

#include "i4min/file/i4_file.h"
#include "meta/MetaTag.h"

SN_StrTagCompare::SN_StrTagCompare() : SearchNode(STR_TAG_COMPARE), value(""), tagName("") {}

SN_StrTagCompare::SN_StrTagCompare(const char* tagName, const char* value)
    : SearchNode(STR_TAG_COMPARE), value(value ? value : ""), tagName(tagName ? tagName : "") {}

SN_StrTagCompare::~SN_StrTagCompare() {}

SearchNode* SN_StrTagCompare::clone() const {
    SN_StrTagCompare* copy = new SN_StrTagCompare();
    copy->value = value;
    copy->tagName = tagName;
    return copy;
}

bool SN_StrTagCompare::matches(Meta* record) {
    LLNode* cursor = nullptr;
    while (MetaTag* tag = nextTag(record, &cursor, MetaTag::STRING, tagName.c_str())) {
        if (containsLower((const char*)tag->getValue(), value.c_str())) return true;
    }
    return false;
}

bool SN_StrTagCompare::toNetwork(i4_file& f) {
    return f.write_8(STR_TAG_COMPARE) == 1 && writeText(f, value) && writeText(f, tagName);
}

bool SN_StrTagCompare::fromNetwork(i4_file& f) {
    if (!readText(f, MAX_TEXT, value) || !readText(f, 0xFFFE, tagName)) return false;
    value.to_lower();
    return true;
}

int SN_StrTagCompare::size() {
    return 1 + textSize(value) + textSize(tagName);
}

void SN_StrTagCompare::setValue(const void* v) {
    value = (const char*)v;
}

int SN_StrTagCompare::weight() {
    return 3;
}

void SN_StrTagCompare::toText(i4_string& buffer) {
    buffer.append(tagName);
    buffer.append("=");
    buffer.append(value);
}
