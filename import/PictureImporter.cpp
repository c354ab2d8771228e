#include "import/PictureImporter.h"

namespace {
const char* const EXTENSIONS[] = {"gif", "bmp", "png", "jpg", "jpeg", "psd", nullptr};
}

PictureImporter::PictureImporter() : ExtensionImporter("Image", EXTENSIONS) {}
