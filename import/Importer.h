// One kind of file the importers describe. An importer keeps no state between files,
// so any thread may call it, and several threads may call one importer at once.
#pragma once

#include <stdint.h>

class FileMeta;
class i4_file;

class Importer {
public:
    virtual ~Importer();
    // True when this importer took the file, which ends the search; tags are added
    // to the record as they are found. The file stands at offset 0; ext is the
    // lower-cased extension, "" for none. Every byte of the file may be hostile.
    virtual bool import(FileMeta& record, i4_file& file, const char* ext) = 0;

protected:
    // Special tags 3 ("Type") and 4 ("Format").
    static void addType(FileMeta& record, const char* type);
    static void addFormat(FileMeta& record, const char* format);
    // Named tags, appended after what the record holds.
    static void addText(FileMeta& record, const char* name, const char* value);
    static void addInt(FileMeta& record, const char* name, int32_t value);
    // True when ext is one of the null-ended list.
    static bool isOneOf(const char* ext, const char* const* list);
};
