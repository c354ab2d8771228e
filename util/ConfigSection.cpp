#include "util/ConfigSection.h"

#include <cstring>

#include "i4min/string/i4_string.h"

ConfigSection::ConfigSection(const char* n) : next(nullptr), prev(nullptr) {
    i4_strncpy(name, n ? n : "", sizeof name);
}

ConfigSection::~ConfigSection() {
    clearEntries();
}

void ConfigSection::addEntry(const char* key, int keyLength, const char* value) {
    ConfigEntry* e = new ConfigEntry(key, keyLength, value);
    e->prev = entries.prev;
    e->next = &entries;
    entries.prev->next = e;
    entries.prev = e;
}

ConfigEntry* ConfigSection::findEntry(const char* key) {
    ConfigEntry* e = &entries;
    do {
        if (i4_stricmp(e->key, key) == 0) return e;
        e = e->next;
    } while (e != &entries);
    return nullptr;
}

void ConfigSection::clearEntries() {
    while (entries.next != &entries) {
        ConfigEntry* e = entries.next;
        entries.next = e->next;
        delete e;
    }
    entries.prev = &entries;
}
