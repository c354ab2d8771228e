// Pictures: Type "Image" and the extension as Format. Any thread.
#pragma once

#include "import/ExtensionImporter.h"

class PictureImporter : public ExtensionImporter {
public:
    PictureImporter();
};
