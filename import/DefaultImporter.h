// The last importer: takes every file and gives it its extension as Format, when it
// has one. Any thread.
#pragma once

#include "import/Importer.h"

class DefaultImporter : public Importer {
public:
    bool import(FileMeta& record, i4_file& file, const char* ext) override;
};
