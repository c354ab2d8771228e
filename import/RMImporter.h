// Video containers that are not read: Type "Video" and the extension as Format. Any thread.
#pragma once

#include "import/ExtensionImporter.h"

class RMImporter : public ExtensionImporter {
public:
    RMImporter();
};
