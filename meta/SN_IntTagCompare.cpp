#include "meta/SN_IntTagCompare.h"

#include "i4min/file/i4_file.h"
#include "meta/MetaOutput.h"
#include "meta/MetaTag.h"

SN_IntTagCompare::SN_IntTagCompare()
    : SearchNode(INT_TAG_COMPARE), value(0), tagName(""), comparison(EQUAL) {}

SN_IntTagCompare::SN_IntTagCompare(const char* tagName, int32_t value, int32_t comparison)
    : SearchNode(INT_TAG_COMPARE),
      value(value),
      tagName(tagName ? tagName : ""),
      comparison(comparison) {}

SN_IntTagCompare::~SN_IntTagCompare() {}

SearchNode* SN_IntTagCompare::clone() const {
    return new SN_IntTagCompare(tagName.c_str(), value, comparison);
}

bool SN_IntTagCompare::matches(Meta* record) {
    LLNode* cursor = nullptr;
    while (MetaTag* tag = nextTag(record, &cursor, MetaTag::INT, tagName.c_str())) {
        int32_t held = *(const int32_t*)tag->getValue();
        bool holds;
        switch (comparison) {
        case EQUAL:
            holds = held == value;
            break;
        case GREATER:
            holds = held > value;
            break;
        case LESS:
            holds = held < value;
            break;
        case GREATER_EQUAL:
            holds = held >= value;
            break;
        case LESS_EQUAL:
            holds = held <= value;
            break;
        case NOT_EQUAL:
            holds = held != value;
            break;
        default:
            metaPrint("%s", "Unknown Operation in SN_IntTagCompare");
            holds = false;
            break;
        }
        if (holds) return true;
    }
    return false;
}

bool SN_IntTagCompare::toNetwork(i4_file& f) {
    return f.write_8(INT_TAG_COMPARE) == 1 && f.write_32((uint32_t)value) == 4 &&
           f.write_8((uint8_t)comparison) == 1 && writeText(f, tagName);
}

bool SN_IntTagCompare::fromNetwork(i4_file& f) {
    uint8_t bytes[5];
    if (f.read(bytes, 5) != 5) return false;
    value = (int32_t)((uint32_t)bytes[0] | (uint32_t)bytes[1] << 8 | (uint32_t)bytes[2] << 16 |
                      (uint32_t)bytes[3] << 24);
    comparison = bytes[4];
    return readText(f, 0xFFFE, tagName);
}

int SN_IntTagCompare::size() {
    return 6 + textSize(tagName);
}

void SN_IntTagCompare::setValue(const void* v) {
    if (v) value = *(const int32_t*)v;
}

int SN_IntTagCompare::weight() {
    return 1;
}

void SN_IntTagCompare::toText(i4_string& buffer) {
    static const char* const names[] = {"=", ">", "<", ">=", "<=", "!="};
    buffer.append(tagName);
    buffer.append(comparison >= EQUAL && comparison <= NOT_EQUAL ? names[comparison] : "ER");
    i4_string number;
    number.format("%d", (int)value);
    buffer.append(number);
}
