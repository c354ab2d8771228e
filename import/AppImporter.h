// Programs, archives and disc images: Type "Pro" and the extension as Format. Any thread.
#pragma once

#include "import/ExtensionImporter.h"

class AppImporter : public ExtensionImporter {
public:
    AppImporter();
};
