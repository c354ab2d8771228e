// The kinds that describe a file by its extension alone and never read it. No state
// but the constant table it is made with: any thread.
#pragma once

#include "import/Importer.h"

class ExtensionImporter : public Importer {
public:
    // extensions: a null-ended list of lower-case extensions, kept, not copied.
    ExtensionImporter(const char* type, const char* const* extensions);
    // Type and Format = ext when ext is listed, else false.
    bool import(FileMeta& record, i4_file& file, const char* ext) override;

private:
    const char* type;
    const char* const* extensions;
};
