#include "import/ExtensionImporter.h"

ExtensionImporter::ExtensionImporter(const char* t, const char* const* e)
    : type(t), extensions(e) {}

bool ExtensionImporter::import(FileMeta& record, i4_file&, const char* ext) {
    if (!isOneOf(ext, extensions)) return false;
    addType(record, type);
    addFormat(record, ext);
    return true;
}
