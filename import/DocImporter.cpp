#include "import/DocImporter.h"

namespace {
const char* const EXTENSIONS[] = {"pdf", "txt", "doc", "rtf", "xls", "html", nullptr};
}

DocImporter::DocImporter() : ExtensionImporter("Doc", EXTENSIONS) {}
