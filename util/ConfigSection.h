// Threads: as the ConfigFile that holds it.
#pragma once

#include "util/ConfigEntry.h"

// A "[name]" section of a configuration file and its entries in file order.
class ConfigSection {
public:
    explicit ConfigSection(const char* name = "");
    // Deletes the entries.
    virtual ~ConfigSection();

    void addEntry(const char* key, int keyLength, const char* value);
    // The first entry whose key equals the given one ignoring case; the
    // anchor comes first, so "" finds the empty value.
    ConfigEntry* findEntry(const char* key);
    void clearEntries();

    ConfigSection* next;
    ConfigSection* prev;
    ConfigEntry entries;  // the anchor: empty key and value
    char name[ConfigEntry::FIELD];

private:
    ConfigSection(const ConfigSection&) = delete;
    ConfigSection& operator=(const ConfigSection&) = delete;
};
