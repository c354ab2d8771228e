#include "import/RMImporter.h"

namespace {
const char* const EXTENSIONS[] = {"rm", "mov", "wmv", "mpeg", "mpg", "asf", "m2v", "vcd", nullptr};
}

RMImporter::RMImporter() : ExtensionImporter("Video", EXTENSIONS) {}
