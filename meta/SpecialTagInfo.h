// The table of special tags: attributes named by a one-byte id. Filled once, by
// initSpecialTags at start-up or by the first lookup, whichever comes first; read-only
// afterwards, except that setting the language replaces display names before the
// other threads start.
#pragma once

#include <stdint.h>

#include "i4min/string/i4_string.h"

class SpecialTagInfo {
public:
    enum Id {
        NAME = 1,
        SIZE = 2,
        TYPE = 3,
        FORMAT = 4,
        COLLECTION_TYPE = 5,
        PART_PATH = 6,
        PART_HASH = 7,
        PART_TRANS = 8,
        GAP_START = 9,
        GAP_END = 10,
        DESCRIPTION = 11,
        PING = 12,
        HISTORY = 13,
        PREF = 14,
        PORT = 15,
        IP = 16,
        VERSION = 17,
        TEMP_FILE_NAME = 18,
        UPLOAD_PRIORITY = 19,
        STATE = 20,
        AVAILABILITY = 21,
        QTIME = 22,
        PARTS = 23,
        DOWNLOAD_PRIORITY = 24,
        LAST_ID = 24,
    };

    uint32_t valueType;
    uint8_t flag;
    uint8_t flag2;
    i4_string displayName;
    char tagName[2];  // the id byte and a terminator

    // The entry for an id, or null for any id the table lacks (0 and above 24).
    static SpecialTagInfo* get(int id);
};

extern SpecialTagInfo theSpecialTags[SpecialTagInfo::LAST_ID + 1];

void initSpecialTags();
