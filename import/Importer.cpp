#include "import/Importer.h"

#include <string.h>

#include "meta/FileMeta.h"
#include "meta/MetaTag.h"
#include "meta/SpecialTagInfo.h"

Importer::~Importer() {}

void Importer::addType(FileMeta& record, const char* type) {
    record.addTag(MetaTag::makeSpecialTag(SpecialTagInfo::TYPE, type));
}

void Importer::addFormat(FileMeta& record, const char* format) {
    record.addTag(MetaTag::makeSpecialTag(SpecialTagInfo::FORMAT, format));
}

void Importer::addText(FileMeta& record, const char* name, const char* value) {
    record.addTag(MetaTag::makeTag(MetaTag::STRING, name, value));
}

void Importer::addInt(FileMeta& record, const char* name, int32_t value) {
    record.addTag(MetaTag::makeTag(MetaTag::INT, name, &value));
}

bool Importer::isOneOf(const char* ext, const char* const* list) {
    for (; *list; ++list)
        if (strcmp(ext, *list) == 0) return true;
    return false;
}
