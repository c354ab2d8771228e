#include "util/ConfigEntry.h"

#include <cstring>

#include "i4min/string/i4_string.h"

ConfigEntry::ConfigEntry() : next(this), prev(this) {
    key[0] = 0;
    value[0] = 0;
}

ConfigEntry::ConfigEntry(const char* k, int keyLength, const char* v) : next(this), prev(this) {
    if (keyLength >= FIELD) keyLength = FIELD - 1;
    memcpy(key, k, keyLength);
    key[keyLength] = 0;
    i4_strncpy(value, v, FIELD);
}
