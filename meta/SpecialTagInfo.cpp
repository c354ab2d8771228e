#include "meta/SpecialTagInfo.h"

#include <mutex>

#include "meta/MetaTag.h"

SpecialTagInfo theSpecialTags[SpecialTagInfo::LAST_ID + 1];

static void fillSpecialTags();
static std::once_flag filled;

SpecialTagInfo* SpecialTagInfo::get(int id) {
    if (id < 1 || id > LAST_ID) return nullptr;
    // Filled on first use as well, so no record can be made with an empty table.
    std::call_once(filled, fillSpecialTags);
    return &theSpecialTags[id];
}

void initSpecialTags() {
    std::call_once(filled, fillSpecialTags);
}

static void fillSpecialTags() {
    struct Entry {
        const char* displayName;
        uint32_t type;
        uint8_t flag;
    };
    static const Entry table[SpecialTagInfo::LAST_ID] = {
        {"Name", MetaTag::STRING, 1},
        {"Size", MetaTag::INT, 0},
        {"Type", MetaTag::STRING, 0},
        {"Format", MetaTag::STRING, 0},
        {"Collection Type", MetaTag::STRING, 1},
        {"Part path", MetaTag::STRING, 0},
        {"Part Hash", MetaTag::HASH128, 0},
        {"part trans", MetaTag::INT, 0},
        {"gap start", MetaTag::INT, 0},
        {"gap end", MetaTag::INT, 0},
        {"Description", MetaTag::STRING, 1},
        {"ping", MetaTag::INT, 0},
        {"history", MetaTag::INT, 0},
        {"pref", MetaTag::INT, 0},
        {"Port", MetaTag::INT, 0},
        {"IP", MetaTag::INT, 0},
        {"Version", MetaTag::INT, 0},
        {"tempFileName", MetaTag::STRING, 0},
        {"Priority", MetaTag::INT, 0},
        {"state", MetaTag::INT, 0},
        {"Availability", MetaTag::INT, 0},
        {"QTime", MetaTag::INT, 0},
        {"parts", MetaTag::INT, 0},
        {"Priority", MetaTag::INT, 0},
    };
    theSpecialTags[0].valueType = 0;
    theSpecialTags[0].displayName = "";
    for (int id = 1; id <= SpecialTagInfo::LAST_ID; ++id) {
        SpecialTagInfo& e = theSpecialTags[id];
        e.valueType = table[id - 1].type;
        e.flag = table[id - 1].flag;
        e.flag2 = 0;
        e.displayName = table[id - 1].displayName;
        e.tagName[0] = (char)id;
        e.tagName[1] = 0;
    }
}
