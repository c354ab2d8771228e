#include "util/ConfigFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "i4min/string/i4_string.h"

namespace {

const int NAME_BUFFER = ConfigEntry::FIELD + 16;

const char* indexed(char* buf, const char* name, int index) {
    snprintf(buf, NAME_BUFFER, "%s[%d]", name ? name : "", index);
    return buf;
}

}  // namespace

ConfigFile::ConfigFile() : ConfigSection("") {}

ConfigFile::~ConfigFile() {
    clear();
}

void ConfigFile::clear() {
    while (ConfigSection* s = next) {
        next = s->next;
        delete s;
    }
    clearEntries();
}

int ConfigFile::load(const char* path) {
    FILE* f = path ? fopen(path, "r") : nullptr;
    if (!f) return 0;
    int r = loadStream(f);
    fclose(f);
    return r;
}

int ConfigFile::loadStream(FILE* f) {
    if (!f) return 0;
    clear();
    ConfigSection* current = this;
    char line[LINE];
    while (fgets(line, sizeof line, f)) {
        if (!strchr(line, '\n')) {
            int c = getc(f);
            if (c != EOF && c != '\n' && c != '\r') {
                // Longer than the buffer: its pieces would read as lines of
                // their own, so the whole line is skipped.
                while (c != EOF && c != '\n') c = getc(f);
                continue;
            }
            if (c != EOF) ungetc(c, f);
        }
        parseLine(line, current);
    }
    return 1;
}

void ConfigFile::parseLine(char* line, ConfigSection*& current) {
    if (char* lf = strchr(line, '\n')) *lf = 0;
    if (char* cr = strchr(line, '\r')) *cr = 0;
    if (line[0] == '[') {
        char* close = strrchr(line + 1, ']');
        if (!close) return;
        *close = 0;
        ConfigSection* s = new ConfigSection(line + 1);
        s->prev = current;
        s->next = current->next;
        if (current->next) current->next->prev = s;
        current->next = s;
        current = s;
        return;
    }
    if (line[0] == ';') return;
    char* eq = strchr(line, '=');
    if (!eq) return;
    current->addEntry(line, static_cast<int>(eq - line), eq + 1);
}

const char* ConfigFile::find(const char* section, const char* key) {
    for (ConfigSection* s = this; s; s = s->next) {
        if (i4_stricmp(s->name, section ? section : "") != 0) continue;
        ConfigEntry* e = s->findEntry(key ? key : "");
        return e ? e->value : nullptr;
    }
    return nullptr;
}

int ConfigFile::getString(const char* section, const char* key, i4_string& out) {
    const char* v = find(section, key);
    if (!v) return 0;
    out.assign(v);
    return 1;
}

int ConfigFile::getInt(const char* section, const char* key, int& out) {
    const char* v = find(section, key);
    if (!v) return 0;
    // atoi's reading, without its undefined overflow.
    long n = strtol(v, nullptr, 10);
    if (n > INT_MAX) n = INT_MAX;
    if (n < INT_MIN) n = INT_MIN;
    out = static_cast<int>(n);
    return 1;
}

int ConfigFile::getBool(const char* section, const char* key, bool& out) {
    const char* v = find(section, key);
    if (!v) return 0;
    out = i4_stricmp(v, "true") == 0;
    return 1;
}

#define CONFIG_INDEXED_GETTERS(getter, type)                                                  \
    int ConfigFile::getter(const char* section, int si, const char* key, type& out) {         \
        char s[NAME_BUFFER];                                                                  \
        return getter(indexed(s, section, si), key, out);                                     \
    }                                                                                         \
    int ConfigFile::getter(const char* section, const char* key, int ki, type& out) {         \
        char k[NAME_BUFFER];                                                                  \
        return getter(section, indexed(k, key, ki), out);                                     \
    }                                                                                         \
    int ConfigFile::getter(const char* section, int si, const char* key, int ki, type& out) { \
        char s[NAME_BUFFER], k[NAME_BUFFER];                                                  \
        return getter(indexed(s, section, si), indexed(k, key, ki), out);                     \
    }

CONFIG_INDEXED_GETTERS(getString, i4_string)
CONFIG_INDEXED_GETTERS(getInt, int)
CONFIG_INDEXED_GETTERS(getBool, bool)
