// Threads: as the ConfigFile that holds it.
#pragma once

// One "key=value" line of a configuration section, in a doubly linked ring
// anchored at the section's empty entry.
class ConfigEntry {
public:
    static const int FIELD = 1024;

    // An entry alone in its own ring, with an empty key and value.
    ConfigEntry();
    ConfigEntry(const char* key, int keyLength, const char* value);

    ConfigEntry* next;
    ConfigEntry* prev;
    char key[FIELD];
    char value[FIELD];
};
