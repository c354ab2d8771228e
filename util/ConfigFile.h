// Threads: one at a time; a ConfigFile has no lock.
#pragma once

#include <cstdio>

#include "util/ConfigSection.h"

class i4_string;

// Reads text files of "[section]" headers and "key=value" lines. The file
// is itself the first section, named "", holding the lines before any
// header. Names compare ignoring case; keys and values are kept unchanged,
// blanks included. Lines longer than the 1024-byte line buffer are dropped
// whole; a ';' starts a comment line.
class ConfigFile : public ConfigSection {
public:
    static const int LINE = 1024;

    ConfigFile();
    ~ConfigFile() override;

    // 1 when the file was read (replacing what was loaded before), 0 when
    // it cannot be opened.
    int load(const char* path);
    // The same from an open stream, which stays open.
    int loadStream(FILE* f);

    // The value text, or null.
    const char* find(const char* section, const char* key);

    // 1 with the value, or 0 with out unchanged.
    int getString(const char* section, const char* key, i4_string& out);
    // The value's leading number, as atoi reads it.
    int getInt(const char* section, const char* key, int& out);
    // True when the value is "true" ignoring case; false for any other value.
    int getBool(const char* section, const char* key, bool& out);

    // Indexed names: "name[index]" for the section, the key or both.
    int getString(const char* section, int si, const char* key, i4_string& out);
    int getString(const char* section, const char* key, int ki, i4_string& out);
    int getString(const char* section, int si, const char* key, int ki, i4_string& out);
    int getInt(const char* section, int si, const char* key, int& out);
    int getInt(const char* section, const char* key, int ki, int& out);
    int getInt(const char* section, int si, const char* key, int ki, int& out);
    int getBool(const char* section, int si, const char* key, bool& out);
    int getBool(const char* section, const char* key, int ki, bool& out);
    int getBool(const char* section, int si, const char* key, int ki, bool& out);

private:
    void clear();
    void parseLine(char* line, ConfigSection*& current);
};
