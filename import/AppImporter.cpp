#include "import/AppImporter.h"

namespace {
const char* const EXTENSIONS[] = {"exe", "bat", "com", "zip", "rar", "ace",
                                  "sit", "iso", "gz",  "tar", "bin", nullptr};
}

AppImporter::AppImporter() : ExtensionImporter("Pro", EXTENSIONS) {}
