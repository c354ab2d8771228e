#include "import/DefaultImporter.h"

bool DefaultImporter::import(FileMeta& record, i4_file&, const char* ext) {
    if (*ext) addFormat(record, ext);
    return true;
}
